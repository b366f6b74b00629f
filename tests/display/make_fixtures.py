#!/usr/bin/python3
"""Makes the picture files the image view tests show, with Pillow, at build
time, so the Win64 tests under Wine read the same files.

    make_fixtures.py OUTDIR

pattern.jpg, pattern.png and pattern.bmp hold one 200 x 150 picture: smooth
colour ramps with a few hard edges, so that a misplaced row or column shows.
"""
import os
import sys

from PIL import Image

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)

W, H = 200, 150
picture = Image.new("RGB", (W, H))
pixels = picture.load()
for y in range(H):
    for x in range(W):
        band = 80 if (x // 25 + y // 25) % 2 else 0
        pixels[x, y] = ((x * 255 // (W - 1)) ^ band, y * 255 // (H - 1), (255 - x) ^ band)
picture.save(os.path.join(OUT, "pattern.jpg"), quality=92)
picture.save(os.path.join(OUT, "pattern.png"))
picture.save(os.path.join(OUT, "pattern.bmp"))
with open(os.path.join(OUT, "manifest.txt"), "w") as f:
    f.write("pattern.jpg\npattern.png\npattern.bmp\n")
