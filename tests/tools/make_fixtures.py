#!/usr/bin/python3
"""Makes the tools tests' pictures into a folder.

Writers: ImageMagick (the pictures), exiftool (an EXIF block with a
160 x 120 thumbnail) and jpegtran (the losslessly turned reference).

Usage: make_fixtures.py OUTDIR
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import fixturekit as kit  # noqa: E402

CONVERT = "/usr/bin/convert"
EXIFTOOL = "/usr/bin/exiftool"
JPEGTRAN = "/usr/bin/jpegtran"

kit.require(CONVERT, EXIFTOOL, JPEGTRAN)

# A camera-like picture: 320 x 240 with an EXIF thumbnail of 160 x 120.
kit.run(CONVERT, "-size", "320x240", "plasma:fractal", "-seed", "3", "-quality", "90", kit.path("photo.jpg"))
kit.run(CONVERT, "-size", "160x120", "xc:red", kit.path("thumb.jpg"))
kit.run(EXIFTOOL, "-q", "-overwrite_original", "-Make=Testcam", "-ThumbnailImage<=" + kit.path("thumb.jpg"),
        kit.path("photo.jpg"))
os.remove(kit.path("thumb.jpg"))

# A JPEG whose size is whole MCUs, and jpegtran's quarter turn of it.
kit.run(CONVERT, "-size", "64x48", "gradient:blue-yellow", "-quality", "85", "-sampling-factor", "2x2",
        kit.path("turn.jpg"))
with open(kit.path("turn-rot90.jpg"), "wb") as f:
    f.write(kit.run(JPEGTRAN, "-copy", "all", "-rotate", "90", kit.path("turn.jpg")))

# A palette GIF and a small PNG.
kit.run(CONVERT, "-size", "40x30", "plasma:fractal", "-seed", "5", "-colors", "32", kit.path("palette.gif"))
kit.run(CONVERT, "-size", "48x32", "gradient:red-green", kit.path("gradient.png"))

with open(kit.MANIFEST, "w") as f:
    f.write("photo.jpg\nturn.jpg\nturn-rot90.jpg\npalette.gif\ngradient.png\n")
