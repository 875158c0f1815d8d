#!/usr/bin/python3
"""Checks that ZUNA's length of every corpus file is within one codec frame of the truth.

    tools/bench/check-lengths.py ZUNA-PROBE [FOLDER]

The truth is corpus.tsv's frame count (what the generator gave the encoder, or a module's
play time); an MP3 without a gapless header carries no record of its encoder's delay and
padding, so its truth is what an independent decoder (ffmpeg) yields. A codec frame is an
MPEG frame for MP3 and FLAC (as before), and each other codec's own: 1,024 samples of AAC,
960 of Opus (20 ms), 2,048 of Vorbis (its long block), 4,096 of ALAC, a tick (20 ms) of a
module, one sample of PCM and WavPack. Prints the worst deviation per kind and exits
non-zero if any file is off by more than its frame.
"""
import csv
import os
import subprocess
import sys

FRAME = 1152  # samples in one MPEG-1 Layer III frame
FRAMES = {"aac": 1024, "opus": 960, "vorbis": 2048, "alac": 4096, "mod": 960, "wav": 1,
          "aiff": 1, "wavpack": 1}


def probe_lengths(probe, paths):
    out = subprocess.run([probe, *paths], check=True, capture_output=True, text=True).stdout
    lengths = {}
    for line in out.splitlines():
        path, *fields = line.split("\t")
        values = dict(f.split("=", 1) for f in fields)
        lengths[path] = int(values.get("LENGTH", "0"))
    return lengths


def decoded_frames(path):
    """Frames ffmpeg decodes from `path`, counted from its raw output."""
    pcm = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "1", "-"],
                         check=True, capture_output=True).stdout
    return len(pcm) // 2


def main():
    probe = sys.argv[1]
    folder = sys.argv[2] if len(sys.argv) > 2 else "/tmp/zuna-corpus"
    with open(os.path.join(folder, "corpus.tsv"), encoding="utf-8") as manifest:
        rows = list(csv.DictReader(manifest, delimiter="\t"))
    paths = [os.path.join(folder, r["file"]) for r in rows]
    lengths = probe_lengths(probe, paths)
    worst = {}
    failures = 0
    for row, path in zip(rows, paths):
        rate = int(row["rate"])
        truth = int(row["frames"])
        if row["label"].endswith("noheader"):
            truth = decoded_frames(path)
        ms = truth * 1000 // rate
        off_frames = abs(lengths[path] - ms) * rate / 1000
        label = row["label"]
        worst[label] = max(worst.get(label, 0), off_frames)
        if off_frames > FRAMES.get(label, FRAME):
            failures += 1
            print(f"off by {off_frames:.0f} frames: {path} (ZUNA {lengths[path]} ms, truth {ms} ms)")
    for label, off in sorted(worst.items()):
        print(f"{label:14s} worst deviation {off:7.1f} frames")
    print(f"{len(rows) - failures} of {len(rows)} lengths within one codec frame of the truth")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
