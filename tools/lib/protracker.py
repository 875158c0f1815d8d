#!/usr/bin/python3
"""Writes a ProTracker module (M.K., 4 channels) that plays one tone for a known time.

    protracker.py OUT TITLE ORDERS ROWS SPEED PERIOD

One sample, a looped 32-sample sine cycle, starts on the first row at Amiga period PERIOD
(7093789.2 / (2 * PERIOD) samples a second, so a tone of that / 32 Hz) on the first, left
channel and the second, right one, with SPEED ticks a row at 125 BPM (20 ms a tick). Each
of ORDERS patterns breaks to the next after ROWS rows: the module plays for
ORDERS x ROWS x SPEED x 20 ms, then ends. Used by the test fixtures and the benchmark corpus.
"""
import math
import struct
import sys

out, title = sys.argv[1], sys.argv[2]
orders, rows, speed, period = (int(v) for v in sys.argv[3:7])
cycle = 32
sample = bytes(round(63 * math.sin(2 * math.pi * i / cycle)) & 0xFF for i in range(cycle))
head = title.encode()[:20].ljust(20, b"\0")
head += b"Sine".ljust(22, b"\0") + struct.pack(">HBBHH", cycle // 2, 0, 64, 0, cycle // 2)
for _ in range(30):
    head += bytes(22) + struct.pack(">HBBHH", 0, 0, 0, 0, 1)
head += bytes([orders, 127]) + bytes(range(orders)).ljust(128, b"\0") + b"M.K."


def cell(number, note, effect, param):
    return bytes([number & 0xF0 | note >> 8, note & 0xFF, (number & 0x0F) << 4 | effect, param])


patterns = b""
for p in range(orders):
    for r in range(64):
        channels = [bytes(4)] * 4
        if p == 0 and r == 0:
            channels[0] = cell(1, period, 0xF, speed)
            channels[1] = cell(1, period, 0, 0)
        if r == rows - 1:
            channels[2] = cell(0, 0, 0xD, 0)  # pattern break: on to the next order, or the end
        patterns += b"".join(channels)
open(out, "wb").write(head + patterns + sample)
