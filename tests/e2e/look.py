#!/usr/bin/python3
"""What the end-to-end suite sees: measurements on a screenshot of the X screen.

Rectangles are "X Y WIDTH HEIGHT" in screen pixels, as the player's geometry dump gives
them; every command prints one line.

  look.py rows SHOT X Y W H
      the playlist's rows, one character per 40 px band of the list from the top:
      "1" when the band holds a row (text or selection), "0" when it is empty
  look.py handle SHOT X Y W H
      where a horizontal slider's handle is, and the value (0-99) it stands for:
      "CENTRE_X CENTRE_Y VALUE"
  look.py closeicons SHOT X Y W H
      the centres of the red close buttons in a tab bar strip, "X,Y ...": Qt draws the
      current tab's red, the others' grey
  look.py tabsend SHOT X Y W H
      the x just past the last tab in a tab bar strip
"""
import subprocess
import sys

import numpy as np

ROW_HEIGHT = 40  # the playlist's fixed row height


def load(path, x, y, w, h):
    rgb = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                          "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    return np.frombuffer(rgb, dtype=np.uint8).reshape(h, w, 3).astype(int)


def rows(image):
    # Leave the band edges out: a neighbour's selection may bleed over a pixel.
    height, width = image.shape[:2]
    background = np.median(image.reshape(-1, 3), axis=0)
    differs = np.abs(image - background).max(axis=2) > 40
    marks = []
    for top in range(0, height - ROW_HEIGHT + 1, ROW_HEIGHT):
        band = differs[top + 3 : top + ROW_HEIGHT - 3, 3 : width - 3]
        marks.append("1" if band.sum() > 40 else "0")
    return "".join(marks)


def handle(image, x, y):
    # The groove is a thin bar, the handle nearly as tall as the slider: count, per
    # column, the pixels that differ from the window background and take the tall run.
    background = image[0, 0]
    tall = (np.abs(image - background).max(axis=2) > 5).sum(axis=0)
    threshold = (tall.max() + np.median(tall)) / 2
    columns = np.flatnonzero(tall > threshold)
    if len(columns) == 0 or tall.max() < image.shape[0] / 2:
        return "none"
    runs = np.split(columns, np.flatnonzero(np.diff(columns) > 1) + 1)
    run = max(runs, key=len)
    left, width = int(run[0]), len(run)
    # The handle travels between the slider's edges less a pixel each side (Fusion).
    value = 99.0 * (left - 1) / (image.shape[1] - 2 - width)
    return "%d %d %.1f" % (x + left + width // 2, y + image.shape[0] // 2, value)


def closeicons(image, x, y):
    # Qt draws a tab's close button as a red box with a white cross.
    red = (image[:, :, 0] > 170) & (image[:, :, 0] - image[:, :, 1] > 60) & \
          (image[:, :, 0] - image[:, :, 2] > 60)
    columns = np.flatnonzero(red.any(axis=0))
    if len(columns) == 0:
        return ""
    centres = []
    for run in np.split(columns, np.flatnonzero(np.diff(columns) > 2) + 1):
        ys = np.flatnonzero(red[:, run].any(axis=1))
        centres.append("%d,%d" % (x + (run[0] + run[-1]) // 2, y + (ys[0] + ys[-1]) // 2))
    return " ".join(centres)


def tabsend(image, x):
    # Tabs are drawn from the left; past the last one the strip is plain window background.
    middle = image[4:-6]
    background = middle[:, -1:]
    drawn = np.flatnonzero((np.abs(middle - background).max(axis=2) > 8).any(axis=0))
    return str(x + (int(drawn[-1]) + 1 if len(drawn) else 0))


def main():
    if len(sys.argv) != 7 or sys.argv[1] not in ("rows", "handle", "closeicons", "tabsend"):
        raise SystemExit(__doc__)
    x, y, w, h = (int(v) for v in sys.argv[3:7])
    image = load(sys.argv[2], x, y, w, h)
    if sys.argv[1] == "rows":
        print(rows(image))
    elif sys.argv[1] == "handle":
        print(handle(image, x, y))
    elif sys.argv[1] == "closeicons":
        print(closeicons(image, x, y))
    else:
        print(tabsend(image, x))


if __name__ == "__main__":
    main()
