#!/usr/bin/python3
"""Draws the viewer's bitmaps and icon at build time (our own artwork).

    make_artwork.py <output-folder>

Menu-bar strips hold six button images side by side in this order:
slideshow, full screen, information, delete, favorites, adjust and save.
Transparent areas are 0xC4C4C4 (buttons) or magenta (the splitter).
handcur.cur is the image view's pan cursor: a hand, white with a black
outline, its hot spot in the palm.
"""
import os
import struct
import sys

from PIL import Image, ImageDraw

BUTTON_KEY = (0xC4, 0xC4, 0xC4)
MAGENTA = (255, 0, 255)


def draw_button(d, i, x0, s, colour):
    """Button `i` in an s x s square at x0, drawn with simple shapes."""
    k = s / 16.0

    def box(a, b, c, e):
        return [x0 + a * k, b * k, x0 + c * k - 1, e * k - 1]

    if i == 0:  # slideshow: a play triangle in a frame
        d.rectangle(box(1, 2, 15, 14), outline=colour)
        d.polygon([(x0 + 6 * k, 5 * k), (x0 + 6 * k, 11 * k), (x0 + 11 * k, 8 * k)], fill=colour)
    elif i == 1:  # full screen: four corners
        for (a, b, c, e) in ((1, 1, 6, 3), (1, 1, 3, 6), (10, 1, 15, 3), (13, 1, 15, 6), (1, 13, 6, 15),
                             (1, 10, 3, 15), (10, 13, 15, 15), (13, 10, 15, 15)):
            d.rectangle(box(a, b, c, e), fill=colour)
    elif i == 2:  # information: an "i" in a circle
        d.ellipse(box(1, 1, 15, 15), outline=colour)
        d.rectangle(box(7, 4, 9, 6), fill=colour)
        d.rectangle(box(7, 7, 9, 12), fill=colour)
    elif i == 3:  # delete: a cross
        d.line([(x0 + 3 * k, 3 * k), (x0 + 13 * k - 1, 13 * k - 1)], fill=colour, width=max(2, int(2 * k)))
        d.line([(x0 + 13 * k - 1, 3 * k), (x0 + 3 * k, 13 * k - 1)], fill=colour, width=max(2, int(2 * k)))
    elif i == 4:  # favorites: a star
        pts = [(8, 1), (10, 6), (15, 6), (11, 9), (13, 15), (8, 11), (3, 15), (5, 9), (1, 6), (6, 6)]
        d.polygon([(x0 + a * k, b * k) for a, b in pts], fill=colour)
    else:  # adjust and save: a floppy
        d.rectangle(box(2, 2, 14, 14), fill=colour)
        d.rectangle(box(5, 2, 11, 6), fill=BUTTON_KEY)
        d.rectangle(box(4, 9, 12, 14), fill=(255, 255, 255))


def strip(size, grey=False):
    img = Image.new("RGB", (size * 6, size), BUTTON_KEY)
    d = ImageDraw.Draw(img)
    colours = [(0, 90, 200), (0, 130, 60), (0, 90, 200), (200, 30, 30), (220, 160, 0), (80, 80, 80)]
    for i in range(6):
        draw_button(d, i, i * size, size, (128, 128, 128) if grey else colours[i])
    return img


def splitter():
    # Four 31x6 images: hide list (arrow down), show tree, hide tree (arrow
    # up), show list.
    img = Image.new("RGB", (31 * 4, 6), MAGENTA)
    d = ImageDraw.Draw(img)
    for i in range(4):
        x = i * 31
        d.rectangle([x, 0, x + 30, 5], fill=(150, 150, 160))
        up = i in (2, 3)
        pts = [(x + 11, 4), (x + 19, 4), (x + 15, 1)] if up else [(x + 11, 1), (x + 19, 1), (x + 15, 4)]
        d.polygon(pts, fill=(30, 30, 30))
    return img


def album(size):
    img = Image.new("RGB", (size, size), (255, 255, 255))
    d = ImageDraw.Draw(img)
    m = max(2, size // 8)
    d.rectangle([m, m, size - m - 1, size - m - 1], fill=(120, 60, 20), outline=(60, 30, 10))
    inner = size // 4
    d.rectangle([inner, inner, size - inner - 1, size - inner - 1], fill=(250, 230, 180))
    d.polygon([(inner + 1, size - inner - 2), (size // 2, size // 2), (size - inner - 2, size - inner - 2)],
              fill=(40, 140, 60))
    return img


def icon():
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rectangle([2, 5, 29, 26], fill=(40, 90, 170, 255), outline=(20, 40, 90, 255))
    d.ellipse([20, 8, 26, 14], fill=(250, 220, 60, 255))
    d.polygon([(4, 24), (13, 12), (21, 24)], fill=(40, 150, 70, 255))
    return img


HAND_HOTSPOT = (15, 15)


def hand_cursor():
    """A 32 x 32 monochrome cursor file: an open hand (four fingers and a
    thumb), white filled with a black outline, hot spot in the palm."""
    shape = Image.new("1", (32, 32), 0)   # 1: part of the hand
    d = ImageDraw.Draw(shape)
    for x in (9, 13, 17, 21):                          # fingers
        d.rounded_rectangle([x, 4 if x in (13, 17) else 6, x + 3, 18], radius=1, fill=1)
    d.polygon([(4, 14), (7, 13), (10, 17), (9, 22)], fill=1)  # thumb
    d.rounded_rectangle([9, 14, 24, 27], radius=3, fill=1)    # palm
    # The outline: hand pixels with a pixel outside the hand beside them.
    px = shape.load()
    edge = [[False] * 32 for _ in range(32)]
    for y in range(32):
        for x in range(32):
            if px[x, y] and any(not (0 <= x + dx < 32 and 0 <= y + dy < 32) or not px[x + dx, y + dy]
                                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                edge[y][x] = True
    # Monochrome cursor: AND 1 keeps the screen; with AND 0, XOR 0 is black
    # and XOR 1 white. Rows bottom-up, each 4 bytes.
    xor_rows, and_rows = [], []
    for y in range(31, -1, -1):
        xor_bits = and_bits = 0
        for x in range(32):
            bit = 1 << (31 - x)
            if not px[x, y]:
                and_bits |= bit
            elif not edge[y][x]:
                xor_bits |= bit
        xor_rows.append(struct.pack(">I", xor_bits))
        and_rows.append(struct.pack(">I", and_bits))
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 2, 1) + struct.pack("<BBBBHHII", 32, 32, 0, 0, HAND_HOTSPOT[0],
                                                             HAND_HOTSPOT[1], len(image), 22)
    return directory + image


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    strip(16).save(os.path.join(out, "menubar16.bmp"))
    strip(16).save(os.path.join(out, "buttons16.bmp"))
    strip(32).save(os.path.join(out, "buttons32.bmp"))
    strip(32, grey=True).save(os.path.join(out, "buttons32grey.bmp"))
    splitter().save(os.path.join(out, "splitter.bmp"))
    for size in (32, 48, 96):
        album(size).save(os.path.join(out, "album%d.bmp" % size))
    icon().save(os.path.join(out, "viewer.ico"), sizes=[(32, 32), (16, 16)])
    with open(os.path.join(out, "handcur.cur"), "wb") as f:
        f.write(hand_cursor())


if __name__ == "__main__":
    main()
