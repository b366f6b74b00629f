#!/usr/bin/python3
"""Makes the pictures the browser's Win32 test lists, with Pillow, and an
archive holding one of them, with Python's zipfile, at build time.

    make_fixtures.py OUTDIR

wide.jpg (320 x 200), tall.png (90 x 300) and small.gif (40 x 30) are real
pictures; broken.jpg is a JPEG cut after its first 200 bytes, which loads
with an error; pictures.zip holds extracted.jpg (a copy of wide.jpg); oriented6.jpg (64 x 32)
carries EXIF orientation 6, and so does stale6.jpg (32 x 64), which some
editor turned upright without resetting its tag; stripes.jpg (1280 x 640) has black and white
stripes 8 pixels wide, which a thumbnail must show as their mean grey, and
so must the stripes of every other kind of picture (stripes-*.*: grey
JPEG, palette GIF plain and interlaced, palette, one-bit and alpha PNG,
palette BMP and PCX, grey Targa and PGM); in the alpha one the white
stripes are opaque and the black ones transparent, so its mean is white.
"""
import io
import os
import subprocess
import sys
import zipfile

from PIL import Image

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)


def ramp(w, h):
    picture = Image.new("RGB", (w, h))
    pixels = picture.load()
    for y in range(h):
        for x in range(w):
            pixels[x, y] = (x * 255 // (w - 1), y * 255 // (h - 1), (x ^ y) & 255)
    return picture


wide = io.BytesIO()
ramp(320, 200).save(wide, "JPEG", quality=90)
with open(os.path.join(OUT, "wide.jpg"), "wb") as f:
    f.write(wide.getvalue())
with open(os.path.join(OUT, "broken.jpg"), "wb") as f:
    f.write(wide.getvalue()[:200])
ramp(90, 300).save(os.path.join(OUT, "tall.png"))
ramp(40, 30).convert("P").save(os.path.join(OUT, "small.gif"))
with zipfile.ZipFile(os.path.join(OUT, "pictures.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("extracted.jpg", wide.getvalue())
# A landscape picture stored with EXIF orientation 6 (turn right to view).
exif = Image.Exif()
exif[274] = 6
ramp(64, 32).save(os.path.join(OUT, "oriented6.jpg"), quality=95, exif=exif.tobytes())
ramp(32, 64).save(os.path.join(OUT, "stale6.jpg"), quality=95, exif=exif.tobytes())
# Stripes whose edges fall on the 8 x 8 blocks: each block is one flat
# colour, so even the decoder's 1/8 reduction keeps them as stripes.
stripes = Image.new("RGB", (1280, 640))
stripes.paste((255, 255, 255), (0, 0, 1280, 640))
for x in range(0, 1280, 16):
    stripes.paste((0, 0, 0), (x, 0, x + 8, 640))
stripes.save(os.path.join(OUT, "stripes.jpg"), quality=95)
stripes.convert("L").save(os.path.join(OUT, "stripes-grey.jpg"), quality=95)


def one_pixel_stripes(mode, across=False):
    """Black and white stripes one pixel wide (rows when `across`)."""
    picture = Image.new("RGB", (120, 90), (255, 255, 255))
    pixels = picture.load()
    for y in range(90):
        for x in range(120):
            if (y if across else x) % 2:
                pixels[x, y] = (0, 0, 0)
    return picture.convert(mode) if mode != "P" else picture.convert("P", palette=Image.ADAPTIVE, colors=2)


one_pixel_stripes("P").save(os.path.join(OUT, "stripes-plain.gif"), interlace=False)
one_pixel_stripes("P", across=True).save(os.path.join(OUT, "stripes-interlaced.gif"), interlace=True)
one_pixel_stripes("P").save(os.path.join(OUT, "stripes-palette.png"))
one_pixel_stripes("1").save(os.path.join(OUT, "stripes-1bit.png"))
alpha = one_pixel_stripes("RGBA")
alpha.putalpha(one_pixel_stripes("L"))
alpha.save(os.path.join(OUT, "stripes-alpha.png"))
one_pixel_stripes("P").save(os.path.join(OUT, "stripes-palette.bmp"))
one_pixel_stripes("P").save(os.path.join(OUT, "stripes-palette.pcx"))
one_pixel_stripes("L").save(os.path.join(OUT, "stripes-grey.tga"))
one_pixel_stripes("L").save(os.path.join(OUT, "stripes-grey.pgm"))

# TIFF, in stripes of one black pixel to two white ones (mean 170, so an
# inversion shows): grey, palette, and with ImageMagick grey of four bits a
# level (also stored white-is-zero) and bilevel G4 (Pillow's stored
# black-is-zero, ImageMagick's white-is-zero).
third = one_pixel_stripes("L")
third.putdata([0 if i % 120 % 3 == 0 else 255 for i in range(120 * 90)])
grey_tif = os.path.join(OUT, "stripes-grey.tif")
third.save(grey_tif)
third.convert("P", palette=Image.ADAPTIVE, colors=2).save(os.path.join(OUT, "stripes-palette.tif"))
third.convert("1").save(os.path.join(OUT, "stripes-g4.tif"), compression="group4")
for name, options in [("stripes-grey4.tif", ["-depth", "4"]),
                      ("stripes-grey4-inverted.tif", ["-depth", "4", "-define", "quantum:polarity=min-is-white"]),
                      ("stripes-g4-inverted.tif", ["-monochrome", "-compress", "Group4"])]:
    subprocess.run(["convert", grey_tif, *options, os.path.join(OUT, name)], check=True)


def gif_interlaced(path):
    """Whether the first image of a GIF file is stored interlaced."""
    with open(path, "rb") as f:
        data = f.read()
    at = 13 + (3 << ((data[10] & 7) + 1) if data[10] & 0x80 else 0)
    while data[at] == 0x21:  # extensions: label, then sub-blocks
        at += 2
        while data[at]:
            at += data[at] + 1
        at += 1
    return data[at] == 0x2C and bool(data[at + 9] & 0x40)


assert gif_interlaced(os.path.join(OUT, "stripes-interlaced.gif"))
assert not gif_interlaced(os.path.join(OUT, "stripes-plain.gif"))
with open(os.path.join(OUT, "manifest.txt"), "w") as f:
    f.write("wide.jpg\ntall.png\nsmall.gif\nbroken.jpg\npictures.zip\noriented6.jpg\nstale6.jpg\nstripes.jpg\n")
