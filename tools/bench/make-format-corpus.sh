#!/usr/bin/env bash
# Generates the corpus of the other kinds the player reads through FFmpeg: COUNT files
# (default 400, 1-20 s each) in equal shares of WAV (16-bit, RIFF INFO tags), AIFF (ID3),
# Ogg Vorbis, Opus, AAC in M4A (half with the edit list in milliseconds, as ffmpeg writes
# it by default, half at the sample rate), ALAC in M4A, WavPack (APE tags) and ProTracker
# modules, in a folder outside the repository, by default /tmp/zuna-corpus-formats, with
# corpus.tsv listing each file's path and true length in PCM frames, as make-corpus.sh does.
#
#   tools/bench/make-format-corpus.sh [FOLDER] [COUNT]
#
# Content is a tone plus pink noise (sox); a module (tools/lib/protracker.py) plays one
# looped sine for ORDERS x ROWS rows of 6 ticks at 125 BPM (0.12 s a row), its true length. Needs sox, ffmpeg (with
# libvorbis and libopus) and /usr/bin/python3.
set -euo pipefail
out=${1:-/tmp/zuna-corpus-formats}
count=${2:-400}
case $(readlink -f "$out") in
  / | "$HOME" | "$(git -C "$(dirname "$0")" rev-parse --show-toplevel 2>/dev/null || echo /nonexistent)"*)
    echo "refusing to write the corpus to $out" >&2; exit 1 ;;
esac
mkdir -p "$out"
find "$out" -mindepth 1 -type f \( -name '*.wav' -o -name '*.aiff' -o -name '*.ogg' -o -name '*.opus' \
    -o -name '*.m4a' -o -name '*.wv' -o -name '*.mod' \) -delete
export LC_ALL=C.UTF-8

exec /usr/bin/python3 - "$out" "$count" "$(cd "$(dirname "$0")/.." && pwd)" <<'PY'
import concurrent.futures, os, random, subprocess, sys

out, count, tools = sys.argv[1], int(sys.argv[2]), sys.argv[3]
rng = random.Random(1818)
KINDS = [  # label, extension, rates, ffmpeg options
    ("wav", "wav", (44100, 48000), ["-c:a", "pcm_s16le"]),
    ("aiff", "aiff", (44100, 48000), ["-c:a", "pcm_s16be", "-write_id3v2", "1"]),
    ("vorbis", "ogg", (44100, 48000), ["-c:a", "libvorbis", "-q:a", "4"]),
    ("opus", "opus", (48000,), ["-c:a", "libopus", "-b:a", "128k"]),
    ("aac", "m4a", (44100, 48000), ["-c:a", "aac", "-b:a", "192k"]),
    ("alac", "m4a", (44100,), ["-c:a", "alac"]),
    ("wavpack", "wv", (44100, 48000), ["-c:a", "wavpack"]),
    ("mod", "mod", (48000,), None),
]
plan = []
for n in range(count):
    label, ext, rates, options = KINDS[n % len(KINDS)]
    f = dict(label=label, file=f"{label}-{n:03d}.{ext}", rate=rng.choice(rates),
             secs=round(rng.uniform(1, 20), 2), channels=2 if n % 5 else 1, options=options,
             title=f"Track {n}", artist=f"Artist {n % 23}", album=f"Album {n % 11}")
    if label == "aac" and n % 2:
        f["options"] = options + ["-movie_timescale", str(f["rate"])]
    if label == "mod":
        f["orders"], f["rows"] = rng.randint(1, 3), rng.randint(12, 64)
        f["secs"] = f["orders"] * f["rows"] * 0.12
    plan.append(f)

def encode(f):
    path = os.path.join(out, f["file"])
    if f["options"] is None:
        subprocess.run([sys.executable, os.path.join(tools, "lib", "protracker.py"), path,
                        f["title"], str(f["orders"]), str(f["rows"]), "6", "214"], check=True)
        return
    freq = 110 * (1 + plan.index(f) % 17)
    sox = ["sox", "-V1", "-n", "-r", str(f["rate"]), "-c", str(f["channels"]), "-b", "16",
           "-t", "raw", "-e", "signed", "-L", "-", "synth", str(f["secs"]), "sine", str(freq),
           "synth", str(f["secs"]), "pinknoise", "mix", "gain", "-8"]
    enc = ["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "s16le", "-ar", str(f["rate"]),
           "-ac", str(f["channels"]), "-i", "-", *f["options"], "-metadata", f"title={f['title']}",
           "-metadata", f"artist={f['artist']}", "-metadata", f"album={f['album']}", path]
    src = subprocess.Popen(sox, stdout=subprocess.PIPE)
    subprocess.run(enc, stdin=src.stdout, check=True)
    src.stdout.close()
    if src.wait() != 0:
        raise RuntimeError(f"sox failed for {path}")

with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
    list(pool.map(encode, plan))

with open(os.path.join(out, "corpus.tsv"), "w", encoding="utf-8") as manifest:
    manifest.write("file\tkind\tlabel\trate\tframes\n")
    for f in plan:
        manifest.write(f"{f['file']}\t{f['label']}\t{f['label']}\t{f['rate']}\t"
                       f"{round(f['secs'] * f['rate'])}\n")
total = sum(os.path.getsize(os.path.join(out, f["file"])) for f in plan)
print(f"{len(plan)} files, {total / 1e6:.1f} MB in {out}")
PY
