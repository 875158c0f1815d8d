#!/usr/bin/python3
"""Checks that ZUNA's length of every corpus file is within one MP3 frame of the truth.

    tools/bench/check-lengths.py ZUNA-PROBE [FOLDER]

The truth is corpus.tsv's frame count (what the generator gave the encoder) for FLAC and
for MP3s with a gapless header; an MP3 without one carries no record of its encoder's
delay and padding, so its truth is what an independent decoder (ffmpeg) yields. Prints the
worst deviation per kind and exits non-zero if any file is off by more than a frame.
"""
import csv
import os
import subprocess
import sys

FRAME = 1152  # samples in one MPEG-1 Layer III frame


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
        if off_frames > FRAME:
            failures += 1
            print(f"off by {off_frames:.0f} frames: {path} (ZUNA {lengths[path]} ms, truth {ms} ms)")
    for label, off in sorted(worst.items()):
        print(f"{label:14s} worst deviation {off:7.1f} frames")
    print(f"{len(rows) - failures} of {len(rows)} lengths within one MP3 frame of the truth")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
