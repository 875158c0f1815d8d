#!/usr/bin/python3
"""Draws docs/benchmarks.png from the results run-benchmarks wrote.

    tools/bench/chart.py [RESULTS.tsv] [OUT.png]

Two panels: metadata intake (files per second, ZUNA against a bare TagLib read) and the
playlist at 1,000 and 10,000 rows (time to add, peak memory; ZUNA against a bare
QListWidget of text items, and against ZUNA before the playlist work where the results
hold those figures). Needs Debian's python3-matplotlib.
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
    fig, (intake, scale) = plt.subplots(1, 2, figsize=(11, 4.2))

    groups = [("with a length header", "intake_header_files_per_s"),
              ("MP3 without one (exact scan)", "intake_noheader_files_per_s")]
    xs = range(len(groups))
    zuna = [r[key][0] for _, key in groups]
    taglib = [r[key][1] for _, key in groups]
    intake.bar([x - 0.2 for x in xs], zuna, 0.4, label="ZUNA readTrackMetadata")
    intake.bar([x + 0.2 for x in xs], taglib, 0.4, label="bare TagLib FileRef")
    intake.axhline(10000, color="grey", linestyle="--", linewidth=1, label="target 10,000 files/s")
    intake.set_xticks(list(xs), [name for name, _ in groups])
    intake.set_ylabel("files per second (warm cache)")
    intake.set_title("Metadata intake, 1,000-file corpus")
    intake.legend(fontsize=8)

    labels, add_s, memory = [], [], []
    for rows in (1000, 10000):
        for who, prefix in (("bare list", "playlist_bare"), ("ZUNA", "playlist_zuna"),
                            ("ZUNA before", "playlist_before")):
            key = f"{prefix}_{rows}_add_ms"
            if key in r:
                labels.append(f"{who}\n{rows:,} rows")
                add_s.append(r[key][0] / 1000)
                memory.append(r[f"{prefix}_{rows}_rss_mb"][0])
    xs = range(len(labels))
    scale.bar(xs, add_s, color="tab:blue")
    scale.set_yscale("log")
    scale.set_ylabel("seconds to add every row (log)")
    scale.set_xticks(list(xs), labels, fontsize=7)
    for x, seconds, mb in zip(xs, add_s, memory):
        scale.annotate(f"{seconds:.2f} s\n{mb:.0f} MB", (x, seconds), ha="center", va="bottom", fontsize=7)
    scale.set_title("Playlist scale: time to add, peak memory")
    fig.tight_layout()
    fig.savefig(target, dpi=110)
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
