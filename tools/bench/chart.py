#!/usr/bin/python3
"""Draws docs/benchmarks.png from the results run-benchmarks wrote.

    tools/bench/chart.py [RESULTS.tsv] [OUT.png]

Three panels: metadata intake (files per second, ZUNA against a bare TagLib read, on the
plain and the cover-heavy corpus), the playlist at 1,000 and 10,000 rows (time to add, peak
memory; ZUNA against a bare QListWidget of text items, and against ZUNA before where the
results hold those figures), and the longest the window stood still meanwhile. Needs
Debian's python3-matplotlib.
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def load(path):
    results = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, value, reference = (line.rstrip("\n").split("\t") + ["", ""])[:3]
            results[key] = (float(value) if value else None, float(reference) if reference else None)
    return results


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else "/tmp/zuna-bench/results.tsv"
    target = sys.argv[2] if len(sys.argv) > 2 else "docs/benchmarks.png"
    r = load(source)
    fig, (intake, scale, stall) = plt.subplots(1, 3, figsize=(15, 4.4))

    groups = [("length header", "intake_header_files_per_s"),
              ("no header\n(exact scan)", "intake_noheader_files_per_s"),
              ("length header,\ncovers", "intake_covers_header_files_per_s"),
              ("no header,\ncovers", "intake_covers_noheader_files_per_s")]
    groups = [g for g in groups if g[1] in r]
    xs = range(len(groups))
    zuna = [r[key][0] for _, key in groups]
    taglib = [r[key][1] for _, key in groups]
    intake.bar([x - 0.2 for x in xs], zuna, 0.4, label="ZUNA readTrackMetadata")
    intake.bar([x + 0.2 for x in xs], taglib, 0.4, label="bare TagLib FileRef")
    intake.axhline(10000, color="grey", linestyle="--", linewidth=1, label="target 10,000 files/s")
    intake.set_xticks(list(xs), [name for name, _ in groups])
    intake.set_ylabel("files per second (warm cache)")
    intake.set_title("Metadata intake, 1,000-file corpora")
    intake.legend(fontsize=8)

    labels, add_s, memory, stalls = [], [], [], []
    for rows in (1000, 10000):
        for who, prefix in (("bare list", "playlist_bare"), ("ZUNA", "playlist_zuna"),
                            ("ZUNA folder", "playlist_folder"), ("ZUNA before", "playlist_before")):
            key = f"{prefix}_{rows}_add_ms"
            if key in r:
                labels.append(f"{who}, {rows:,} rows")
                add_s.append(r[key][0] / 1000)
                memory.append(r[f"{prefix}_{rows}_rss_mb"][0])
                stalls.append(r[f"{prefix}_{rows}_stall_ms"][0])
    xs = range(len(labels))
    scale.bar(xs, add_s, color="tab:blue")
    scale.set_yscale("log")
    scale.set_ylabel("seconds to add every row (log)")
    scale.set_xticks(list(xs), labels, fontsize=7, rotation=35, ha="right")
    for x, seconds, mb in zip(xs, add_s, memory):
        scale.annotate(f"{seconds:.2f} s\n{mb:.0f} MB", (x, seconds), ha="center", va="bottom", fontsize=7)
    scale.set_title("Playlist scale: time to add, peak memory")

    stall.bar(xs, stalls, color="tab:orange")
    stall.axhline(50, color="grey", linestyle="--", linewidth=1, label="target 50 ms")
    stall.set_ylabel("longest event-loop stall while adding (ms)")
    stall.set_xticks(list(xs), labels, fontsize=7, rotation=35, ha="right")
    for x, ms in zip(xs, stalls):
        stall.annotate(f"{ms:.0f} ms", (x, ms), ha="center", va="bottom", fontsize=7)
    stall.set_title("The window while files come in")
    stall.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(target, dpi=110)
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
