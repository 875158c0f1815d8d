#!/usr/bin/python3
"""What a recording of the sink (s16le, 2 channels, 44.1 kHz, as tests/e2e records it) holds.

  sink.py dropouts REC FROM TO        silent runs over 1 ms between the first and the last
                                      sound from byte FROM to byte TO: "dropouts=N silent_ms=T"
  sink.py edge REC FROM silence|sound the first silence (a run of 50 ms) or the first sound
                                      after byte FROM, in ms after it
  sink.py change REC FROM HZ          the first 5 ms after byte FROM whose tone is HZ (within
                                      3 %) and stays so for 20 ms, in ms after FROM
"""
import sys

import numpy as np

RATE = 44100
FRAME = 4
QUIET = 0.002  # -54 dBFS: below it a sample counts as silence


def read(path, start, end=None):
    with open(path, "rb") as f:
        f.seek(start)
        data = f.read(-1 if end is None else end - start)
    data = data[: len(data) // FRAME * FRAME]
    return np.frombuffer(data, dtype="<i2").reshape(-1, 2).astype(np.float64) / 32768.0


def quiet_runs(loud):
    """(start, length) of each run of quiet frames between loud ones."""
    idx = np.flatnonzero(loud)
    if len(idx) < 2:
        return []
    gaps = np.diff(idx) - 1
    at = np.flatnonzero(gaps > 0)
    return [(idx[i] + 1, gaps[i]) for i in at]


def dropouts(path, start, end):
    x = read(path, start, end)
    loud = np.abs(x).max(axis=1) >= QUIET
    runs = [(s, n) for s, n in quiet_runs(loud) if n > RATE // 1000]
    print("dropouts=%d silent_ms=%.1f" % (len(runs), 1000 * sum(n for _, n in runs) / RATE))


def edge(path, start, kind):
    x = read(path, start)
    loud = np.abs(x).max(axis=1) >= QUIET
    if kind == "sound":
        at = np.flatnonzero(loud)
        return at[0] if len(at) else None
    run = RATE // 20
    if len(loud) < run:
        return None  # not recorded yet
    quiet = np.convolve(~loud, np.ones(run, int), "valid") == run
    at = np.flatnonzero(quiet)
    return at[0] if len(at) else None


def change(path, start, hz):
    x = read(path, start).mean(axis=1)
    win = RATE // 200  # 5 ms
    hits = []
    for i in range(0, len(x) - 2 * win, win):
        w = x[i : i + 2 * win]
        if np.abs(w).max() < QUIET:
            hits.append(False)
            continue
        spectrum = np.abs(np.fft.rfft(w * np.hanning(len(w)), 8 * len(w)))
        peak = spectrum.argmax() * RATE / (8 * len(w))
        hits.append(abs(peak - hz) <= 0.03 * hz + 50)
    hits = np.array(hits, bool)
    steady = np.flatnonzero(np.convolve(hits, np.ones(4, int), "valid") == 4)
    return steady[0] * win if len(steady) else None


def main(argv):
    cmd, path, start = argv[1], argv[2], int(argv[3])
    if cmd == "dropouts":
        dropouts(path, start, int(argv[4]))
        return 0
    at = edge(path, start, argv[4]) if cmd == "edge" else change(path, start, float(argv[4]))
    if at is None:
        print("none")
        return 1
    print("%.1f" % (1000 * at / RATE))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
