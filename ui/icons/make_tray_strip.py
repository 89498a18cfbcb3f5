#!/usr/bin/env python3
"""Draws the tray icon strip: 30 images of 16 x 16 pixels side by side, an envelope with
the mark of each tray state. Writes tray_strip.png and tray_strip_png.h (the PNG bytes for
embedding) next to this script. The output depends on nothing but this file and
pixel_strip.py.

Images: 0-3 connecting (a dot going round), 4-7 the server holds letters (a growing badge),
8-15 fetching (an arrow coming down), 16 idle, 17-24 idle with a small mark (unused by the
program), 25-29 new mail (a red badge pulsing over a warmer envelope)."""
from pixel_strip import SIZE, blank, block, disc, write_strip

COUNT = 30
PAPER = (250, 245, 225, 255)
WARM_PAPER = (255, 225, 190, 255)
INK = (90, 70, 40, 255)
GREEN = (30, 160, 60, 255)
YELLOW = (230, 180, 0, 255)
BLUE = (40, 90, 200, 255)
RED = (210, 30, 30, 255)
GREY = (120, 120, 120, 255)


def envelope(paper):
    img = blank()
    for y in range(3, 13):
        for x in range(1, 15):
            edge = y in (3, 12) or x in (1, 14)
            img[y][x] = INK if edge else paper
    # The flap: two lines from the top corners to the middle.
    for i in range(6):
        img[4 + i][2 + i] = INK
        img[4 + i][13 - i] = INK
    return img


def arrow(img, tip):
    # A downward arrow whose tip is at row `tip`.
    block(img, 7, tip - 6, 2, 4, BLUE)
    for i in range(3):
        block(img, 7 - i, tip - 2 + i - 1, 2 + 2 * i, 1, BLUE)
    block(img, 4, tip - 3, 8, 1, BLUE)


def image(n):
    if 25 <= n <= 29:
        img = envelope(WARM_PAPER)
        disc(img, 12, 3, 1 + (n - 25), RED)
        return img
    img = envelope(PAPER)
    if n <= 3:
        corners = [(1, 1), (14, 1), (14, 14), (1, 14)]
        x, y = corners[n]
        block(img, x - 1, y - 1, 3, 3, GREEN)
    elif n <= 7:
        disc(img, 12, 3, 1 + (n - 4), YELLOW)
    elif n <= 15:
        arrow(img, 6 + (n - 8))
    elif 17 <= n <= 24:
        block(img, (n - 17) * 2, 14, 2, 2, GREY)
    return img


def main():
    write_strip([image(n) for n in range(COUNT)], "tray_strip", "kTrayStripPng",
                "make_tray_strip.py")


if __name__ == "__main__":
    main()
