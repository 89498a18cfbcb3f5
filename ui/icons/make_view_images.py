#!/usr/bin/env python3
"""Draws the pictures of the program's trees and lists: 16 x 16 images side by side in one
strip. Writes view_images.png and view_images_png.h (the PNG bytes for embedding) next to
this script. The output depends on nothing but this file and pixel_strip.py.

Images, by their index in the strip (ui/view_images.h names the ranges):
 0-23  tree items in pairs (normal, selected): 0 the program, 2 a user, 4 an account or a
       template set, 6 the preview box, 8 the receive box, 10 the prepare box, 12 the send
       box, 14 the trash, 16 any other box or folder, 18 an address book, 20 anything else,
       22 a filter set. The selected picture is the normal one lit up (folders and books
       open).
24-27  lock states of tree items: 24 none, 25 locked, 26 lock set but open, 27 none.
28-31  letter rows: 28 none, 29 a letter, 30 a letter with attachments, 31 an unread letter
       in several parts.
32-33  the sorted column's arrow: 32 descending, 33 ascending."""
from pixel_strip import SIZE, blank, block, disc, write_strip

INK = (70, 60, 50, 255)
PAPER = (250, 247, 235, 255)
BLUE = (50, 100, 200, 255)
LIGHT_BLUE = (150, 185, 235, 255)
GREEN = (40, 150, 70, 255)
RED = (200, 40, 40, 255)
ORANGE = (230, 140, 30, 255)
YELLOW = (240, 200, 60, 255)
FOLDER = (225, 180, 80, 255)
FOLDER_DARK = (170, 125, 40, 255)
GREY = (130, 130, 130, 255)
LIGHT_GREY = (200, 200, 200, 255)
SKIN = (240, 200, 160, 255)
PURPLE = (130, 80, 170, 255)


def frame(img, x0, y0, w, h, edge, fill):
    block(img, x0, y0, w, h, edge)
    block(img, x0 + 1, y0 + 1, w - 2, h - 2, fill)


def line(img, x0, y0, x1, y1, colour):
    steps = max(abs(x1 - x0), abs(y1 - y0), 1)
    for i in range(steps + 1):
        x = round(x0 + (x1 - x0) * i / steps)
        y = round(y0 + (y1 - y0) * i / steps)
        if 0 <= x < SIZE and 0 <= y < SIZE:
            img[y][x] = colour


def envelope(img, paper=PAPER, top=3, bottom=12):
    frame(img, 1, top, 14, bottom - top + 1, INK, paper)
    line(img, 2, top + 1, 7, top + 6, INK)
    line(img, 13, top + 1, 8, top + 6, INK)


def down_arrow(img, x, top, colour):
    block(img, x, top, 2, 4, colour)
    for i in range(3):
        block(img, x - 2 + i, top + 4 + i, 6 - 2 * i, 1, colour)


def up_arrow(img, x, top, colour):
    for i in range(3):
        block(img, x - i, top + i, 2 + 2 * i, 1, colour)
    block(img, x, top + 3, 2, 4, colour)


def tray(img, colour):
    # An open box seen from the front: the walls and the bottom.
    block(img, 1, 9, 1, 6, colour)
    block(img, 14, 9, 1, 6, colour)
    block(img, 1, 14, 14, 1, colour)
    block(img, 2, 11, 12, 3, LIGHT_GREY)
    block(img, 5, 11, 6, 1, colour)


def folder(img, opened):
    block(img, 1, 3, 6, 2, FOLDER_DARK)
    frame(img, 1, 4, 14, 10, FOLDER_DARK, FOLDER)
    if opened:
        for y in range(7, 14):
            shift = (y - 7) // 3
            block(img, 2 + shift, y, 13 - shift, 1, YELLOW)
        line(img, 2, 7, 14, 7, FOLDER_DARK)


def book(img, opened):
    if opened:
        frame(img, 0, 3, 8, 11, BLUE, PAPER)
        frame(img, 8, 3, 8, 11, BLUE, PAPER)
        for y in (6, 8, 10):
            block(img, 2, y, 4, 1, GREY)
            block(img, 10, y, 4, 1, GREY)
    else:
        frame(img, 3, 1, 10, 14, INK, BLUE)
        block(img, 4, 2, 1, 12, LIGHT_BLUE)
        block(img, 6, 4, 5, 2, PAPER)


def person(img, shirt):
    disc(img, 8, 4, 3, SKIN)
    block(img, 3, 10, 10, 5, shirt)
    block(img, 4, 9, 8, 1, shirt)


def tree_image(n):
    img = blank()
    kind, selected = n // 2, n % 2 == 1
    lit = YELLOW if selected else PAPER
    if kind == 0:  # the program: a letter on a blue plate
        frame(img, 0, 0, 16, 16, BLUE, LIGHT_BLUE if selected else BLUE)
        envelope(img, lit, 4, 11)
    elif kind == 1:  # a user
        person(img, ORANGE if selected else GREEN)
    elif kind == 2:  # an account: a server with an "at" mark
        frame(img, 2, 1, 12, 14, INK, LIGHT_GREY if not selected else YELLOW)
        for y in (4, 8):
            block(img, 4, y, 8, 1, GREY)
        disc(img, 8, 11, 2, BLUE)
        img[11][8] = PAPER
    elif kind == 3:  # the preview box: an eye
        line(img, 1, 8, 5, 4, INK)
        line(img, 5, 4, 10, 4, INK)
        line(img, 10, 4, 14, 8, INK)
        line(img, 1, 8, 5, 12, INK)
        line(img, 5, 12, 10, 12, INK)
        line(img, 10, 12, 14, 8, INK)
        block(img, 4, 5, 8, 7, lit)
        disc(img, 8, 8, 2, BLUE)
        img[8][8] = INK
    elif kind == 4:  # the receive box: a tray with an arrow going in
        tray(img, INK)
        down_arrow(img, 7, 1, ORANGE if selected else GREEN)
    elif kind == 5:  # the prepare box: a sheet and a pencil
        frame(img, 2, 1, 10, 14, INK, lit)
        for y in (4, 6, 8):
            block(img, 4, y, 6, 1, GREY)
        line(img, 13, 6, 7, 12, ORANGE)
        line(img, 14, 7, 8, 13, ORANGE)
        img[13][6] = INK
    elif kind == 6:  # the send box: a tray with an arrow going out
        tray(img, INK)
        up_arrow(img, 7, 1, ORANGE if selected else BLUE)
    elif kind == 7:  # the trash: a bin
        block(img, 3, 2, 10, 2, GREY)
        block(img, 6, 1, 4, 1, GREY)
        frame(img, 4, 4, 8, 11, INK, LIGHT_GREY if not selected else YELLOW)
        for x in (6, 8, 10):
            block(img, x, 6, 1, 7, GREY)
    elif kind == 8:  # any other box or folder
        folder(img, selected)
    elif kind == 9:  # an address book
        book(img, selected)
    elif kind == 10:  # anything else: a plain sheet
        frame(img, 3, 1, 10, 14, INK, lit)
        block(img, 5, 4, 6, 1, GREY)
        block(img, 5, 7, 6, 1, GREY)
    else:  # a filter set: a funnel
        for y in range(2, 8):
            block(img, 1 + (y - 2), y, 14 - 2 * (y - 2), 1, PURPLE if not selected else ORANGE)
        block(img, 7, 8, 2, 6, PURPLE if not selected else ORANGE)
    return img


def lock_image(n):
    img = blank()
    if n in (1, 2):
        frame(img, 3, 7, 10, 8, INK, YELLOW)
        block(img, 7, 9, 2, 3, INK)
        # The shackle: closed over the body, or swung open to the right.
        left = 5 if n == 1 else 9
        block(img, left, 2, 1, 5 if n == 1 else 3, GREY)
        block(img, left + 5, 2, 1, 5, GREY)
        block(img, left + 1, 1, 4, 1, GREY)
    return img


def row_image(n):
    img = blank()
    if n == 0:
        return img
    envelope(img)
    if n == 2:  # a paper clip over the right edge
        for y in range(0, 10):
            img[y][12] = GREY
            img[y][14] = GREY
        block(img, 12, 0, 3, 1, GREY)
        block(img, 12, 9, 3, 1, GREY)
        block(img, 13, 3, 1, 5, GREY)
    elif n == 3:  # a new-mail dot
        disc(img, 12, 3, 2, BLUE)
    return img


def arrow_image(ascending):
    img = blank()
    for i in range(5):
        width = 2 * i + 1
        y = 5 + i if ascending else 10 - i
        block(img, 8 - i, y, width, 1, GREY)
    return img


def main():
    images = [tree_image(n) for n in range(24)]
    images += [lock_image(n) for n in range(4)]
    images += [row_image(n) for n in range(4)]
    images += [arrow_image(False), arrow_image(True)]
    write_strip(images, "view_images", "kViewImagesPng", "make_view_images.py")


if __name__ == "__main__":
    main()
