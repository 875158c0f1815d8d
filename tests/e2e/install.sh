#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what a Linux desktop needs of it: the
# binary, its decoder module where the binary looks for it, the launcher entry, the icon and
# the AppStream metainfo, each where desktops look, valid by the freedesktop validators, and
# naming each other consistently; the entry takes files (Open With) of every kind that plays.
#
#   tests/e2e/install.sh BUILD_DIR VERSION
set -euo pipefail

build=$(readlink -f "${1:?usage: install.sh BUILD_DIR VERSION}")
version=${2:?usage: install.sh BUILD_DIR VERSION}
here=$(cd "$(dirname "$0")" && pwd)
id=io.github.zuna.Zuna
prefix=$(mktemp -d /tmp/zuna-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" ||
    fail "cmake --install: $(cat "$prefix/install.log")"

binary=$prefix/bin/zuna
desktop=$prefix/share/applications/$id.desktop
icon=$prefix/share/icons/hicolor/scalable/apps/$id.svg
metainfo=$prefix/share/metainfo/$id.metainfo.xml
for file in "$binary" "$desktop" "$icon" "$metainfo"; do
    [ -f "$file" ] || fail "not installed: ${file#"$prefix"/}"
done
[ -x "$binary" ] || fail "bin/zuna is not executable"
# The installed binary must not lean on the build tree.
missing=$(ldd "$binary" | grep 'not found' || true)
[ -z "$missing" ] || fail "bin/zuna misses libraries: $missing"
# The FFmpeg module, loaded when a file is neither MP3 nor FLAC, is found from the binary's
# folder by the relative path built into it (it also knows the build tree's, for the tests).
relative=$(strings -a "$binary" | grep -E '^[^/].*/zuna-ffmpeg\.so$' | head -1)
[ -n "$relative" ] || fail "bin/zuna names no relative path to zuna-ffmpeg.so"
module=$prefix/bin/$relative
[ -f "$module" ] || fail "bin/zuna looks for its decoder module at bin/$relative: not installed there"
missing=$(ldd "$module" | grep 'not found' || true)
[ -z "$missing" ] || fail "zuna-ffmpeg.so misses libraries: $missing"
echo "ok   decoder module where bin/zuna looks for it: $(realpath --relative-to="$prefix" "$module")"

out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
echo "ok   desktop-file-validate"
out=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
echo "ok   appstreamcli validate --no-net --strict"

# The names that tie the files together, as a desktop follows them.
/usr/bin/python3 - "$prefix" "$id" "$here/../data" "$version" <<'PY' || exit 1
import configparser, os, shlex, sys
import xml.etree.ElementTree as ET

prefix, app_id, data, version = sys.argv[1:]
problems = []
entry = configparser.ConfigParser(interpolation=None)
entry.optionxform = str
entry.read(os.path.join(prefix, "share/applications", app_id + ".desktop"))
desktop = entry["Desktop Entry"]
program = shlex.split(desktop["Exec"])[0]
if not os.access(os.path.join(prefix, "bin", program), os.X_OK):
    problems.append("Exec=%s is not the installed binary" % desktop["Exec"])
if "%F" not in shlex.split(desktop["Exec"])[1:]:
    problems.append("Exec=%s takes no files (%%F)" % desktop["Exec"])
# Open With: every kind of file that plays is one the entry takes, by the audio type a file
# manager gives its name (shared-mime-info's globs).
offered = set(filter(None, desktop.get("MimeType", "").split(";")))
globs = {}
with open("/usr/share/mime/globs2") as table:
    for line in table:
        if not line.startswith("#") and line.count(":") >= 2:
            kind, pattern = line.strip().split(":")[1:3]
            globs.setdefault(pattern.lower(), []).append(kind)
with open(os.path.join(data, "fixtures.tsv")) as fixtures:
    for line in fixtures:
        name = line.split("\t")[0]
        kinds = [k for k in globs.get("*" + os.path.splitext(name)[1].lower(), []) if k.startswith("audio/")]
        if kinds and not offered.intersection(kinds):
            problems.append("Open With is not offered for %s (%s)" % (name, " ".join(kinds)))
if desktop["Icon"] != app_id:
    problems.append("Icon=%s is not the installed icon %s" % (desktop["Icon"], app_id))

meta = ET.parse(os.path.join(prefix, "share/metainfo", app_id + ".metainfo.xml")).getroot()
if meta.findtext("id") != app_id:
    problems.append("metainfo id %s is not %s" % (meta.findtext("id"), app_id))
if meta.findtext("launchable[@type='desktop-id']") != app_id + ".desktop":
    problems.append("metainfo launchable is not %s.desktop" % app_id)
for binary in meta.findall("provides/binary"):
    if not os.access(os.path.join(prefix, "bin", binary.text), os.X_OK):
        problems.append("metainfo provides binary %s, which is not installed" % binary.text)
releases = [release.get("version") for release in meta.findall("releases/release")]
if not releases or releases[0] != version:
    problems.append("metainfo's newest release is %s, not the project's version %s"
                    % (releases[0] if releases else "missing", version))
if meta.findtext("name") != desktop["Name"]:
    problems.append("metainfo name %s differs from the entry's %s" % (meta.findtext("name"), desktop["Name"]))

svg = ET.parse(os.path.join(prefix, "share/icons/hicolor/scalable/apps", app_id + ".svg")).getroot()
if svg.tag != "{http://www.w3.org/2000/svg}svg":
    problems.append("the icon is not an SVG document")
else:
    box = [float(v) for v in svg.get("viewBox", "").split()]
    if len(box) != 4 or box[2] != box[3]:
        problems.append("the icon is not square: viewBox %s" % svg.get("viewBox"))

for problem in problems:
    print("FAIL: " + problem, file=sys.stderr)
sys.exit(1 if problems else 0)
PY
echo "ok   entry, icon and metainfo name each other and the binary, release $version"
echo "installed and valid: bin/zuna, zuna-ffmpeg.so, $id.desktop, $id.svg, $id.metainfo.xml"
