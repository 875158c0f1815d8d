#!/usr/bin/python3
"""Build resources/fonts/corvane-lite.ttf, the player's icon font.

The transport and settings buttons draw their symbols with a font instead of
image files, so the icons scale with the widget font and follow the palette.
The glyphs come from Debian's Fork Awesome (package fonts-fork-awesome, SIL
OFL 1.1). We keep only the eight icons we use and map them to plain ASCII
characters, which keeps the .ui texts short and the file a few KB. The OFL
requires a modified font to carry a different name, hence "Corvane Lite".

Output is byte-for-byte reproducible: timestamps are taken from the source.

Usage: /usr/bin/python3 tools/make-icon-font.py [OUTPUT.ttf]
"""
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

SOURCE = "/usr/share/fonts/truetype/fork-awesome/forkawesome-webfont.ttf"
OUTPUT = "resources/fonts/corvane-lite.ttf"

# Character used in the UI -> Fork Awesome glyph name.
ICONS = {
    " ": "space",
    "Y": "cog",            # settings
    "5": "play",
    "6": "pause",
    "<": "step-backward",  # previous track
    ">": "step-forward",   # next track
    "7": "stop",
    "D": "volume-off",     # mute
    "J": "plus-square",    # new playlist: a boxed plus next to the tabs
}

FAMILY = "Corvane Lite"
STYLE = "Regular"
PS_NAME = "CorvaneLite-Regular"
VERSION = "Version 1.000"
HOLDERS = "Copyright (c) 2012-2018 Dave Gandy, 2018 Fork Awesome."
LICENSE = ("This Font Software is licensed under the SIL Open Font License, "
           "Version 1.1. This license is available with a FAQ at: "
           "https://openfontlicense.org")
LICENSE_URL = "https://openfontlicense.org"


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else OUTPUT
    font = TTFont(SOURCE, recalcTimestamp=False)

    # Point the ASCII characters at the icons before subsetting, so the
    # subsetter keeps exactly these glyphs and recomputes the OS/2 ranges.
    cmap = {ord(ch): glyph for ch, glyph in ICONS.items()}
    for table in font["cmap"].tables:
        if table.isUnicode():
            table.cmap = dict(cmap)
    font["cmap"].tables = [t for t in font["cmap"].tables if t.isUnicode()]

    options = subset.Options()
    options.notdef_outline = True    # a visible box for unmapped characters
    options.glyph_names = True
    options.name_IDs = [0]           # keep the source's copyright string
    options.drop_tables += ["FFTM"]  # FontForge build timestamps
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=cmap.keys())
    subsetter.subset(font)

    name = font["name"]
    notice = HOLDERS + " " + name.getDebugName(0)
    name.names = []
    for name_id, text in (
        (0, notice),
        (1, FAMILY),
        (2, STYLE),
        (3, f"1.000;{PS_NAME}"),
        (4, f"{FAMILY} {STYLE}"),
        (5, VERSION),
        (6, PS_NAME),
        (13, LICENSE),
        (14, LICENSE_URL),
        (16, FAMILY),
        (17, STYLE),
    ):
        name.setName(text, name_id, 3, 1, 0x409)

    font["head"].fontRevision = 1.0
    font["OS/2"].fsSelection |= 1 << 6  # REGULAR, to match the style name
    font.save(output)


if __name__ == "__main__":
    main()
