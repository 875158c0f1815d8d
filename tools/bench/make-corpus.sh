#!/usr/bin/env bash
# Generates the corpus the intake benchmarks read: COUNT short MP3 and FLAC files (1-20 s,
# default 1,000) in a folder outside the repository, by default /tmp/zuna-corpus (emptied
# of audio first), with corpus.tsv listing each file's path and true length in PCM frames.
#
#   tools/bench/make-corpus.sh [FOLDER] [COUNT] [covers]
#
# MP3 (60 %): CBR 128-320k (20 %) and VBR V0-V6 (16 %) with a Xing/LAME/Info header and
# ID3v2.3 or ID3v2.4 tags; ID3v1 only or ID3v1 + ID3v2.3 (8 %); without any length header
# (lame -t), CBR (8 %) and VBR (8 %). FLAC (40 %): 16-bit (25 %) and 24-bit (15 %) with
# Vorbis comments. About one file in seven carries a 100-300 KB cover picture. A few names
# are non-Latin. All files lie in FOLDER itself.
# With "covers", a library as taggers leave it: the same kinds of files, laid out in
# artist/album folders (some with non-ASCII names), one file in five with a 30-400 KB
# cover picture, and one ID3v2 tag in four padded to 1 MiB (mutagen's padding hook).
# Content is a tone plus pink noise, so VBR frames really vary. The same run of the script
# gives the same plan of files (fixed random generator).
# Needs: sox, lame, flac, Debian's /usr/bin/python3 with mutagen. Takes well under a minute
# on two cores.
set -euo pipefail
out=${1:-/tmp/zuna-corpus}
count=${2:-1000}
variant=${3:-default}
case $variant in default | covers) ;; *) echo "unknown variant $variant" >&2; exit 2 ;; esac
case $(readlink -f "$out") in
  / | "$HOME" | "$(git -C "$(dirname "$0")" rev-parse --show-toplevel 2>/dev/null || echo /nonexistent)"*)
    echo "refusing to write the corpus to $out" >&2; exit 1 ;;
esac
mkdir -p "$out"
# Only audio files go, and then the folders left empty.
find "$out" -mindepth 1 -type f \( -name '*.mp3' -o -name '*.flac' \) -delete
find "$out" -mindepth 1 -type d -empty -delete
export LC_ALL=C.UTF-8 PYTHONUTF8=1

exec /usr/bin/python3 - "$out" "$count" "$variant" <<'EOF'
import concurrent.futures, os, random, struct, subprocess, sys, zlib
from mutagen.flac import FLAC, Picture
from mutagen.id3 import APIC, ID3, TALB, TIT2, TPE1, TRCK

out = sys.argv[1]
count = int(sys.argv[2])
covers = sys.argv[3] == "covers"
share = lambda percent: round(count * percent / 100)
rng = random.Random(4242)
NAMES = ["Песня", "東京の歌", "Café", "Ωmega"]

def cover(size):
    """A valid PNG of noise, about `size` bytes (stored zlib blocks: no compression)."""
    w = 256
    h = max(1, size // (w * 3 + 1))
    raw = b"".join(b"\0" + rng.randbytes(w * 3) for _ in range(h))
    chunk = lambda k, d: struct.pack(">I", len(d)) + k + d + struct.pack(">I", zlib.crc32(k + d))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 0)) + chunk(b"IEND", b""))

# One plan entry per file: (kind, name, seconds, rate, channels, options, tagging, cover bytes)
plan = []
def add(kind, label, options, tagging, rates=(44100,), bits=16):
    n = len(plan)
    ext = "flac" if kind == "flac" else "mp3"
    stem = f"{label}-{n:03d}" if n % 37 else f"{NAMES[n // 37 % len(NAMES)]} {label}-{n:03d}"
    if covers:
        picture = rng.randint(30_000, 400_000) if n % 5 == 2 else 0
    else:
        picture = rng.randint(100_000, 300_000) if n % 7 == 3 else 0
    plan.append(dict(kind=kind, label=label, name=f"{stem}.{ext}", secs=round(rng.uniform(1, 20), 2),
                     rate=rng.choice(rates), channels=2 if n % 5 else 1, bits=bits,
                     options=options, tagging=tagging, cover=picture, padded=covers and n % 4 == 1))

for _ in range(share(20)):
    add("mp3", "cbr", ["-b", str(rng.choice([128, 160, 192, 256, 320]))], rng.choice(["v23", "v24"]))
for _ in range(share(16)):
    add("mp3", "vbr", ["-V", str(rng.randint(0, 6))], rng.choice(["v23", "v24"]))
for _ in range(share(8)):
    add("mp3", "v1", ["-b", "192"], rng.choice(["v1", "v1v23"]))
for _ in range(share(8)):
    add("mp3", "cbr-noheader", ["-t", "-b", str(rng.choice([128, 192, 320]))], "v23")
for _ in range(share(8)):
    add("mp3", "vbr-noheader", ["-t", "-V", str(rng.randint(0, 6))], "v24")
for _ in range(share(25)):
    add("flac", "flac16", [], "vorbis", rates=(44100, 48000))
for _ in range(share(15)):
    add("flac", "flac24", [], "vorbis", rates=(48000, 96000), bits=24)

def texts(f):
    n = plan.index(f)
    artist = f"Artist {n % 23}"
    if covers and n % 23 % 6 == 0:
        artist = f"{NAMES[n % 23 // 6]} {n % 23}"
    return f"Track {n}", artist, f"Album {n % 11}"

# Where each file lies below `out`: artist/album folders for "covers", flat otherwise.
for f in plan:
    _, artist, album = texts(f)
    f["file"] = os.path.join(artist, album, f["name"]) if covers else f["name"]
    os.makedirs(os.path.dirname(os.path.join(out, f["file"])), exist_ok=True)

def encode(f):
    path = os.path.join(out, f["file"])
    freq = 110 * (1 + plan.index(f) % 17)
    # Raw PCM for flac: a piped WAV header cannot state the length, which flac warns about.
    container = ["-t", "wav"] if f["kind"] == "mp3" else ["-t", "raw", "-e", "signed", "-L"]
    sox = ["sox", "-V1", "-n", "-r", str(f["rate"]), "-c", str(f["channels"]), "-b", str(f["bits"]),
           *container, "-", "synth", str(f["secs"]), "sine", str(freq),
           "synth", str(f["secs"]), "pinknoise", "mix", "gain", "-8"]
    title, artist, album = texts(f)
    if f["kind"] == "mp3":
        enc = ["lame", "--quiet", *f["options"]]
        if f["tagging"].startswith("v1"):
            enc += ["--id3v1-only", "--tt", title, "--ta", artist, "--tl", album]
        enc += ["-", path]
    else:
        enc = ["flac", "--silent", "--force", "--force-raw-format", "--endian=little",
               "--sign=signed", f"--channels={f['channels']}", f"--bps={f['bits']}",
               f"--sample-rate={f['rate']}", "-T", f"TITLE={title}", "-T", f"ARTIST={artist}",
               "-T", f"ALBUM={album}", "-T", "GENRE=Benchmark", "-o", path, "-"]
    src = subprocess.Popen(sox, stdout=subprocess.PIPE)
    subprocess.run(enc, stdin=src.stdout, check=True)
    src.stdout.close()
    if src.wait() != 0:
        raise RuntimeError(f"sox failed for {path}")
    if f["kind"] == "mp3":
        head = open(path, "rb").read(4096)
        has_header = b"Xing" in head[:200] or b"Info" in head[:200]
        if has_header == ("-t" in f["options"]):
            raise RuntimeError(f"{path}: Xing/Info header present: {has_header}")

with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
    list(pool.map(encode, plan))

for f in plan:
    path = os.path.join(out, f["file"])
    title, artist, album = texts(f)
    picture = cover(f["cover"]) if f["cover"] else None
    if f["kind"] == "flac":
        if picture:
            flac = FLAC(path)
            p = Picture()
            p.type, p.mime, p.data = 3, "image/png", picture
            flac.add_picture(p)
            flac.save()
        continue
    if f["tagging"] == "v1":
        continue  # lame wrote the ID3v1 tag
    tag = ID3()
    for frame, text in ((TIT2, title), (TPE1, artist), (TALB, album), (TRCK, "1")):
        tag.add(frame(encoding=3 if f["tagging"] == "v24" else 1, text=[text]))
    if picture:
        tag.add(APIC(encoding=0, mime="image/png", type=3, desc="", data=picture))
    version = 4 if f["tagging"] == "v24" else 3
    # info.padding is what is left of the room the file had for the tag (none here) once the
    # frames are in, so this pads the whole tag out to 1 MiB, as some taggers leave it.
    padding = (lambda info: max(0, (1 << 20) + info.padding)) if f["padded"] else None
    # v1 = 1 keeps the ID3v1 tag lame wrote, v1 = 0 means none.
    tag.save(path, v2_version=version, v1=1 if f["tagging"] == "v1v23" else 0, padding=padding)

# The truth the benchmark checks lengths against: sox writes exactly round(secs × rate)
# frames; an MP3 with a gapless header must decode to exactly that many.
with open(os.path.join(out, "corpus.tsv"), "w", encoding="utf-8") as manifest:
    manifest.write("file\tkind\tlabel\trate\tframes\n")
    for f in plan:
        manifest.write(f"{f['file']}\t{f['kind']}\t{f['label']}\t{f['rate']}\t"
                       f"{round(f['secs'] * f['rate'])}\n")

total = sum(os.path.getsize(os.path.join(out, f["file"])) for f in plan)
kinds = {}
for f in plan:
    kinds[f["label"]] = kinds.get(f["label"], 0) + 1
print(f"{len(plan)} files, {total / 1e6:.1f} MB in {out}; "
      f"{sum(1 for f in plan if f['cover'])} with a cover; "
      + (f"{sum(1 for f in plan if f['padded'] and f['tagging'] in ('v23', 'v24', 'v1v23'))} "
         "with 1 MiB ID3v2 tags; " if covers else "")
      + ", ".join(f"{k} {v}" for k, v in sorted(kinds.items())))
EOF
