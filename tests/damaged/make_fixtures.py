#!/usr/bin/python3
"""Makes one small opaque picture in every format and stored layout the
readers take, for the damaged-file and alpha tests, with tools no one here
wrote (Pillow and ImageMagick).

    make_fixtures.py OUTDIR

OUTDIR/manifest.txt has one line per fixture, "NAME FILE".
"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fixturekit import MANIFEST, path, require, run, skip  # noqa: E402
CONVERT = "/usr/bin/convert"

try:
    from PIL import Image
except ImportError:
    skip("Pillow is not installed for /usr/bin/python3")
require(CONVERT)

W, H = 48, 40
rgb = Image.new("RGB", (W, H))
rgb.putdata([((x * 5) & 255, (y * 6) & 255, ((x + y) * 3) & 255) for y in range(H) for x in range(W)])
grey = rgb.convert("L")
palette = rgb.quantize(colors=60)
source = path("source.png")
rgb.save(source)

lines = []


def pillow(name, image, fmt, **options):
    file = name + "." + fmt
    image.save(path(file), **options)
    lines.append("%s %s" % (name, file))


def magick(name, ext, *args, prefix=""):
    file = name + "." + ext
    run(CONVERT, source, *args, prefix + path(file))
    lines.append("%s %s" % (name, file))


pillow("bmp-rgb", rgb, "bmp")
pillow("bmp-palette", palette, "bmp")
magick("bmp-rle8", "bmp", "-colors", "60", "-type", "Palette", "-compress", "RLE", prefix="BMP3:")
pillow("png-rgb", rgb, "png")
pillow("png-palette", palette, "png")
pillow("png-grey", grey, "png")
rng = random.Random(7)
noise = Image.frombytes("RGB", (160, 120), bytes(rng.getrandbits(8) for _ in range(160 * 120 * 3)))
pillow("png-noise", noise, "png")
magick("png-interlaced", "png", "-interlace", "PNG")
pillow("apng", rgb, "png", save_all=True, append_images=[rgb.transpose(Image.FLIP_LEFT_RIGHT)], duration=100)
pillow("jpeg-baseline", rgb, "jpg", quality=90)
pillow("jpeg-progressive", rgb, "jpg", quality=90, progressive=True)
pillow("jpeg-grey", grey, "jpg", quality=90)
pillow("gif", palette, "gif")
magick("gif-interlaced", "gif", "-colors", "60", "-interlace", "GIF")
pillow("tga-rgb", rgb, "tga", compression=None)
pillow("tga-rle", rgb, "tga", compression="tga_rle")
pillow("tga-palette-rle", palette, "tga", compression="tga_rle")
pillow("pcx-rgb", rgb, "pcx")
pillow("pcx-palette", palette, "pcx")
magick("psd-rle", "psd", "-depth", "8", "-compress", "RLE")
magick("psd-raw", "psd", "-depth", "8", "-compress", "None")
pillow("ppm", rgb, "ppm")
pillow("pgm", grey, "pgm")
magick("ico", "ico", "-alpha", "off", "-type", "TrueColor", "-resize", "32x32!")

os.remove(source)
with open(MANIFEST, "w") as f:
    f.write("\n".join(lines) + "\n")
