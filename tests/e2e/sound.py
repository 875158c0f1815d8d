#!/usr/bin/python3
"""What the end-to-end suite hears: analysis of the sound server's recording.

The recording is raw s16le stereo at 44100 Hz that parec keeps appending to while the
player runs. Every check works on 50 ms blocks, labelled "silence", a pure tone of some
frequency, or "other" (a block that straddles a change, noise). A tone's level is given
as its peak amplitude (0.5 = the half-scale tones of the fixtures at full volume) and is
measured on each channel, so a track heard on one side only fails too.

  sound.py tone OUT.raw RATE SECONDS FREQ [SECONDS FREQ...]
      writes a mono s16le tone at half scale, segment after segment (for flac to encode)
  sound.py cuts PREFIX RATE CHANNELS FREQ FRAMES...
      writes one s16le tone at half scale cut into PREFIX1.raw, PREFIX2.raw...; its
      frequency is nudged so that it starts and ends on a peak, its first and last
      samples being heard for sure
  sound.py wait REC EXPECT TIMEOUT
      waits until the last 0.25 s recorded after the call all match EXPECT
  sound.py hold REC EXPECT SECONDS
      records SECONDS more and checks they match EXPECT throughout
  sound.py sequence REC FROM TIMEOUT ITEM...
      follows the recording from byte FROM until the ITEMs have been heard in order
  sound.py gapless REC FROM TIMEOUT FREQ LEVEL FRAMES
      waits for a tone (as cuts made it) after byte FROM and half a second of silence
      after it, then checks it sample by sample: no quiet run longer than 1 ms in it,
      FRAMES frames long (counting those the sound server drops of a stream's start), in
      phase and at LEVEL throughout
  sound.py paused REC FROM CLICKED
      for a tone started after byte FROM and paused by a click when the recording held
      CLICKED bytes: how many ms of it were heard before the silence, and how many ms
      after CLICKED the silence began (the recording lags the sink, so this is never less
      than at the sink)

  sound.py tones REC FROM TIMEOUT LEVEL FREQ SECONDS [FREQ SECONDS...]
      waits for sound after byte FROM and half a second of silence after it, then checks
      in blocks of 20 ms that the tones were heard in that order, each once and for its
      length (to within the blocks where one changes to the next), at LEVEL; a pause
      between two is no fault, a tone heard again or for longer is

EXPECT is "silence" or "tone FREQ LEVEL"; an ITEM is "silence MIN MAX" or
"tone FREQ LEVEL MIN MAX" (durations in seconds, MAX may be "inf"). wait, hold and
sequence print the recording's size in bytes when they are done (the next step's FROM),
and on failure what they heard instead; they exit 1 on a mismatch or a timeout.
"""
import os
import sys
import time

import numpy as np

RATE = 44100
FRAME = 4  # bytes: two s16 channels
BLOCK = RATE // 20  # 50 ms
SILENT = 0.005  # peak below about -46 dBFS
FREQ_TOLERANCE = 0.02  # of the frequency: a resampling or rate fault is far off
LEVEL_TOLERANCE = 0.12  # of the level: the player's gain is exact, this is headroom
GAP = RATE // 1000  # frames: a quiet run longer than 1 ms is a gap (75 Hz at 0.1: under 10)


def size(path):
    return os.path.getsize(path) // FRAME * FRAME


def read(path, start, end):
    with open(path, "rb") as f:
        f.seek(start)
        data = f.read(end - start)
    samples = np.frombuffer(data[: len(data) // FRAME * FRAME], dtype="<i2")
    return samples.reshape(-1, 2).astype(np.float64) / 32768.0


def classify(block):
    """("silence",) or ("tone", freq, levelL, levelR) or ("other", freq, levelL, levelR)."""
    if np.abs(block).max() < SILENT:
        return ("silence",)
    levels = np.sqrt(2.0 * np.mean(block**2, axis=0))
    mono = block.mean(axis=1)
    magnitudes = np.abs(np.fft.rfft(mono * np.hanning(len(mono))))
    k = int(magnitudes[1:-1].argmax()) + 1
    # Parabolic interpolation on the log magnitude: a fraction of a bin for a pure tone.
    a, b, c = np.log(magnitudes[k - 1 : k + 2] + 1e-12)
    shift = 0.5 * (a - c) / (a - 2 * b + c) if (a - 2 * b + c) != 0 else 0.0
    freq = (k + shift) * RATE / len(mono)
    # A pure tone keeps nearly all its energy within a few bins of its peak.
    power = magnitudes**2
    purity = power[max(0, k - 4) : k + 5].sum() / power.sum()
    kind = "tone" if purity > 0.9 else "other"
    return (kind, freq, levels[0], levels[1])


def describe(label):
    if label[0] == "silence":
        return "silence"
    return "%s %.0f Hz at %.3f/%.3f" % label


def parse_expect(words):
    if words[0] == "silence":
        return ("silence",), words[1:]
    if words[0] == "tone":
        return ("tone", float(words[1]), float(words[2])), words[3:]
    raise SystemExit("unknown expectation: %s" % " ".join(words))


def same_tone(label, freq):
    return label[0] == "tone" and abs(label[1] - freq) <= FREQ_TOLERANCE * freq


def right_level(label, level):
    return all(abs(x - level) <= LEVEL_TOLERANCE * level for x in label[2:4])


def matches(label, expect):
    if expect[0] == "silence":
        return label[0] == "silence"
    return same_tone(label, expect[1]) and right_level(label, expect[2])


def blocks(path, start, end):
    samples = read(path, start, end)
    return [classify(samples[i : i + BLOCK]) for i in range(0, len(samples) - BLOCK + 1, BLOCK)]


def summary(labels):
    """Run-length text of a list of labels, e.g. "tone 660 Hz at 0.50 x12"."""
    out, last, count = [], None, 0
    for label in labels:
        text = describe(label) if label[0] == "silence" else \
            "%s %.0f Hz at %.2f" % (label[0], label[1], (label[2] + label[3]) / 2)
        if text != last and last is not None:
            out.append("%s x%d" % (last, count))
            count = 0
        last, count = text, count + 1
    if last is not None:
        out.append("%s x%d" % (last, count))
    return "; ".join(out) + " (blocks of 50 ms)"


def cmd_tone(args):
    out, rate, segments = args[0], int(args[1]), args[2:]
    parts = []
    for i in range(0, len(segments), 2):
        seconds, freq = float(segments[i]), float(segments[i + 1])
        start = sum(len(p) for p in parts)
        n = np.arange(start, start + round(seconds * rate))
        parts.append(np.round(16384 * np.sin(2 * np.pi * freq * n / rate)))
    np.concatenate(parts).astype("<i2").tofile(out)
    return 0


def nudged(freq, frames, rate):
    """The frequency nearest FREQ at which a tone of FRAMES frames ends on a peak."""
    return max(1, round(freq * (frames - 1) / rate)) * rate / (frames - 1)


def cmd_cuts(args):
    prefix, rate, channels, freq = args[0], int(args[1]), int(args[2]), float(args[3])
    lengths = [int(n) for n in args[4:]]
    total = sum(lengths)
    freq = nudged(freq, total, rate)
    tone = np.round(16384 * np.cos(2 * np.pi * freq * np.arange(total) / rate)).astype("<i2")
    for i, end in enumerate(np.cumsum(lengths)):
        cut = tone[end - lengths[i] : end, None]
        np.repeat(cut, channels, axis=1).tofile("%s%d.raw" % (prefix, i + 1))
    return 0


def cmd_wait(args):
    path, (expect, rest) = args[0], parse_expect(args[1:])
    timeout = float(rest[0])
    window = 5 * BLOCK * FRAME
    start = size(path)
    deadline = time.monotonic() + timeout
    labels = []
    while time.monotonic() < deadline:
        end = size(path)
        if end - start >= window:
            labels = blocks(path, end - window, end)
            if all(matches(label, expect) for label in labels):
                print(end)
                return 0
        time.sleep(0.03)
    print("waited %.1f s for %s; last heard: %s"
          % (timeout, describe(expect) if expect[0] == "silence" else "tone %g Hz at %g" % expect[1:],
             summary(labels) if labels else "nothing recorded"))
    return 1


def cmd_hold(args):
    path, (expect, rest) = args[0], parse_expect(args[1:])
    seconds = float(rest[0])
    start = size(path)
    want = int(seconds * RATE) * FRAME
    deadline = time.monotonic() + 3 * seconds + 2
    while size(path) - start < want:
        if time.monotonic() > deadline:
            print("the recording stalled: %d of %d bytes in %.1f s"
                  % (size(path) - start, want, 3 * seconds + 2))
            return 1
        time.sleep(0.03)
    labels = blocks(path, start, start + want)
    good = sum(matches(label, expect) for label in labels)
    if expect[0] == "silence":
        ok = good == len(labels)
    else:
        # Every block must be this tone; a block or two quieter than it (the machine was
        # too busy to feed the sound server in time) is tolerated, another tone is not.
        wrong = [l for l in labels if l[0] != "silence" and not same_tone(l, expect[1])
                 and max(l[2:4]) > 0.2 * expect[2]]
        ok = not wrong and good >= 0.85 * len(labels)
    if ok:
        print(start + want)
        return 0
    print("%d of %d blocks as expected; heard: %s" % (good, len(labels), summary(labels)))
    return 1


def parse_items(words):
    items = []
    while words:
        expect, words = parse_expect(words)
        low, high = float(words[0]), float(words[1])
        items.append((expect, low, high))
        words = words[2:]
    return items


def runs_of(labels):
    """Runs of equal labels ("silence", a tone's frequency, "other") as [key, blocks, labels];
    runs of up to two blocks (a change in mid-block, a short gap at a seek) are dropped and
    their neighbours joined when equal, so durations are good to about 0.1 s."""
    def key(label):
        return label[0] if label[0] != "tone" else round(label[1])

    runs = []
    for label in labels:
        k = key(label)
        if runs and (runs[-1][0] == k or (isinstance(k, int) and isinstance(runs[-1][0], int)
                                          and abs(k - runs[-1][0]) <= FREQ_TOLERANCE * k)):
            runs[-1][1] += 1
            runs[-1][2].append(label)
        else:
            runs.append([k, 1, [label]])
    kept = []
    for run in runs:
        if run[1] <= 2 and run is not runs[-1]:
            if kept:
                kept[-1][1] += run[1]  # the gap counts to what came before
            continue
        if kept and (kept[-1][0] == run[0] or (isinstance(run[0], int) and isinstance(kept[-1][0], int)
                                               and abs(run[0] - kept[-1][0]) <= FREQ_TOLERANCE * run[0])):
            kept[-1][1] += run[1]
            kept[-1][2].extend(run[2])
        else:
            kept.append(run)
    return kept


def run_matches(run, expect):
    if expect[0] == "silence":
        return run[0] == "silence"
    return isinstance(run[0], int) and abs(run[0] - expect[1]) <= FREQ_TOLERANCE * expect[1]


def cmd_sequence(args):
    path, start, timeout, items = args[0], int(args[1]), float(args[2]), parse_items(args[3:])
    deadline = time.monotonic() + timeout
    seconds = BLOCK / RATE

    def check(runs, final):
        """None while undecided, else (ok, report)."""
        i = 0
        report = []
        for n, run in enumerate(runs):
            closed = n < len(runs) - 1
            # Items that may last 0 s can be missing altogether.
            while i < len(items) and not run_matches(run, items[i][0]) and items[i][1] == 0:
                i += 1
            if i == len(items):
                return False, report + ["then %s: not expected" % run[0]]
            expect, low, high = items[i]
            length = run[1] * seconds
            report.append("%s for %.2f s" % (run[0], length))
            if not run_matches(run, expect):
                return False, report[:-1] + ["then %s for %.2f s where %s was expected"
                                             % (run[0], length, describe(expect) if expect[0] == "silence"
                                                else "tone %g Hz" % expect[1])]
            if expect[0] == "tone":
                # The first and last block of a run may be cut short; the rest are whole.
                inner = run[2][1:-1] or run[2]
                off = [l for l in inner if l[0] == "tone" and not right_level(l, expect[2])]
                if len(off) > 0.15 * len(inner):
                    return False, report + ["at the wrong level (expected %g): %s"
                                            % (expect[2], summary(off))]
            if length > high:
                return False, report + ["longer than %.2f s" % high]
            if closed:
                if length < low:
                    return False, report + ["shorter than %.2f s" % low]
                i += 1
            elif i == len(items) - 1 and length >= low and (high == float("inf") or final):
                return True, report
        if final:
            return False, report + ["ran out of time before %d more item(s)" % (len(items) - i)]
        return None

    while True:
        final = time.monotonic() > deadline
        labels = blocks(path, start, size(path))
        runs = runs_of(labels)
        if runs and runs[-1][1] <= 2 and not final:
            runs.pop()  # too short to tell yet: may be the change to what comes next
        result = check(runs, final)
        if result is not None:
            ok, report = result
            if ok:
                print(start + len(labels) * BLOCK * FRAME)
                print("heard: " + "; ".join(report), file=sys.stderr)
                return 0
            print("heard: " + "; ".join(report))
            return 1
        time.sleep(0.1)


def cmd_gapless(args):
    path, start, timeout = args[0], int(args[1]), float(args[2])
    freq, level, want = float(args[3]), float(args[4]), int(args[5])
    deadline = time.monotonic() + timeout
    while True:
        samples = read(path, start, size(path))
        loud = np.flatnonzero(np.abs(samples).max(axis=1) >= SILENT)
        if len(loud) and len(samples) - loud[-1] > RATE // 2:
            break
        if time.monotonic() > deadline:
            print("no tone that ended within %g s" % timeout)
            return 1
        time.sleep(0.1)
    first, heard = loud[0], loud[-1] - loud[0] + 1
    quiet = np.diff(loud) - 1  # below SILENT between two heard samples
    gaps = ["%.2f ms at %.3f s" % (1000 * quiet[i] / RATE, (loud[i] - first) / RATE)
            for i in np.flatnonzero(quiet > GAP)]
    tone = samples[first : first + heard]
    # The tone's phase in windows of whole periods tells where in the tone each one is, to a
    # fraction of a frame: the frames the sound server drops of a stream's start (a few ms,
    # less than the period) and any frame lost or added at a join.
    omega = 2 * np.pi * nudged(freq, want, RATE) / RATE
    period = 2 * np.pi / omega
    width = int(round(4 * period))
    n = np.arange(heard)
    mono = tone.mean(axis=1)
    turns = np.array([np.angle(mono[i : i + width] @ np.exp(-1j * omega * n[i : i + width]))
                      for i in range(0, heard - width + 1, width)]) / (2 * np.pi)
    dropped = int(round(turns[0] % 1 * period)) % int(round(period))
    slips = ((turns - turns[0] + 0.5) % 1 - 0.5) * period
    moved = ["%+.1f frames at %.3f s" % (slips[k], k * width / RATE)
             for k in np.flatnonzero(np.abs(np.diff(slips, prepend=0)) > 0.5)]
    # Sample by sample against the tone: distortion, a channel gone, a wrong level.
    ref = np.cos(omega * (n + dropped))
    amp = mono @ ref / (ref @ ref)
    error = tone - amp * ref[:, None]
    worst = max(np.sqrt(np.mean(error[i : i + BLOCK] ** 2)) for i in range(0, heard, BLOCK)) / amp
    print("heard %d frames of tone after the %d the sound server dropped at the start: %d for"
          " %d (%+d); its phase within %.2f frames throughout; longest quiet run %d frames;"
          " level %.3f, off the tone by %.1f %% at most"
          % (heard, dropped, dropped + heard, want, dropped + heard - want, np.abs(slips).max(),
             quiet.max(initial=0), amp, 100 * worst))
    if moved:
        print("frames skipped (+) or repeated (-): " + ", ".join(moved[:10]))
    if gaps:
        print("gaps: " + ", ".join(gaps[:10]))
    right = dropped + heard == want and worst < 0.1 and abs(amp - level) <= LEVEL_TOLERANCE * level
    return 0 if right and not gaps and not moved else 1


def cmd_paused(args):
    path, start, clicked = args[0], int(args[1]), int(args[2])
    samples = read(path, start, size(path))
    loud = np.abs(samples).max(axis=1) >= SILENT
    first = np.flatnonzero(loud)
    # The silence is the first run of 50 ms without a loud sample after the tone began.
    quiet = np.convolve(~loud, np.ones(BLOCK, int), "valid") == BLOCK
    after = np.flatnonzero(quiet[first[0]:]) if len(first) else []
    if not len(after):
        print("no tone that fell silent")
        return 1
    silent = first[0] + after[0]
    print("%.1f %.1f" % (1000 * (silent - first[0]) / RATE,
                         1000 * (silent - (clicked - start) // FRAME) / RATE))
    return 0


def wait_for_end(path, start, timeout):
    """The samples after byte START once sound has come and half a second of silence after
    it, or None at the timeout; with the indexes of the loud frames."""
    deadline = time.monotonic() + timeout
    while True:
        samples = read(path, start, size(path))
        loud = np.flatnonzero(np.abs(samples).max(axis=1) >= SILENT)
        if len(loud) and len(samples) - loud[-1] > RATE // 2:
            return samples, loud
        if time.monotonic() > deadline:
            return None, None
        time.sleep(0.1)


def cmd_tones(args):
    path, start, timeout, level = args[0], int(args[1]), float(args[2]), float(args[3])
    want = [(float(args[i]), float(args[i + 1])) for i in range(4, len(args), 2)]
    samples, loud = wait_for_end(path, start, timeout)
    if samples is None:
        print("no sound that ended within %g s" % timeout)
        return 1
    step = RATE // 50
    labels, levels = [], []
    for i in range(loud[0], loud[-1] + 1, step):
        label = classify(samples[i : i + step])
        near = [f for f, _ in want if label[0] == "tone" and abs(label[1] - f) <= FREQ_TOLERANCE * f]
        if near or label[0] != "tone":
            labels.append(near[0] if near else label[0])
        else:
            labels.append("%.0f Hz, not expected" % label[1])
        levels.append((label[2] + label[3]) / 2 if near else 0)
    # Runs of one tone; the blocks where one changes to the next, and pauses, between them.
    runs = []
    for label, block_level in zip(labels, levels):
        if label in ("other", "silence"):
            continue
        if runs and runs[-1][0] == label:
            runs[-1][1] += 1
            runs[-1][2].append(block_level)
        else:
            runs.append([label, 1, [block_level]])
    # A block cut short by a pause reads quieter: the level is the run's median.
    heard = ["%s for %.2f s at %.2f" % (f if isinstance(f, str) else "%g Hz" % f, n * step / RATE,
                                       np.median(lv)) for f, n, lv in runs]
    pauses = sum(1 for a, b in zip(labels, labels[1:]) if a != "silence" and b == "silence")
    right = len(runs) == len(want) and all(
        f == wf and ws - 0.05 <= n * step / RATE <= ws + 0.03
        and abs(np.median(lv) - level) <= LEVEL_TOLERANCE * level
        for (f, n, lv), (wf, ws) in zip(runs, want))
    print("heard %s; %d pause(s) between tones" % ("; ".join(heard), pauses))
    if not right:
        print("expected: " + "; ".join("%g Hz for %.2f s" % w for w in want))
    return 0 if right else 1


def main():
    commands = {"tone": cmd_tone, "cuts": cmd_cuts, "wait": cmd_wait, "hold": cmd_hold,
                "sequence": cmd_sequence, "gapless": cmd_gapless,
                "paused": cmd_paused, "tones": cmd_tones}
    if len(sys.argv) < 2 or sys.argv[1] not in commands:
        raise SystemExit(__doc__)
    return commands[sys.argv[1]](sys.argv[2:])


if __name__ == "__main__":
    sys.exit(main())
