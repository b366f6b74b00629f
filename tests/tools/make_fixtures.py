#!/usr/bin/python3
"""Makes the tools tests' pictures into a folder.

Writers: ImageMagick (the pictures), exiftool (an EXIF block with a
160 x 120 thumbnail) and jpegtran (the losslessly turned reference).

Usage: make_fixtures.py OUTDIR
"""
import os
import struct
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

# A camera-like JPEG that is not whole 16 x 16 blocks high (400 x 300 at
# 4:2:0) with EXIF, and jpegtran's trimmed quarter turn of it.
kit.run(CONVERT, "-size", "400x300", "plasma:fractal", "-seed", "9", "-quality", "90", "-sampling-factor", "2x2",
        kit.path("camera.jpg"))
kit.run(EXIFTOOL, "-q", "-overwrite_original", "-Make=Testcam", "-Orientation#=1", kit.path("camera.jpg"))
with open(kit.path("camera-rot90.jpg"), "wb") as f:
    f.write(kit.run(JPEGTRAN, "-copy", "all", "-rotate", "90", "-trim", kit.path("camera.jpg")))

# A JPEG of 2048 x 1536, whose resize to a percentage is decoded reduced.
kit.run(CONVERT, "-size", "2048x1536", "gradient:navy-orange", "-quality", "80", kit.path("big.jpg"))

# What the journeys through the viewer meet. A 4000 x 3000 camera picture
# at 4:2:0 (not whole 16 x 16 blocks high), green on its left half and red
# on its right, with EXIF and a thumbnail of itself.
kit.run(CONVERT, "-size", "4000x3000", "xc:red", "-fill", "lime", "-draw", "rectangle 0,0 1999,2999", "-quality",
        "90", "-sampling-factor", "2x2", kit.path("camera4000.jpg"))
kit.run(CONVERT, kit.path("camera4000.jpg"), "-resize", "160x120", kit.path("thumb4000.jpg"))
kit.run(EXIFTOOL, "-q", "-overwrite_original", "-Make=Testcam", "-Model=Journey", "-Orientation#=1",
        "-ThumbnailImage<=" + kit.path("thumb4000.jpg"), kit.path("camera4000.jpg"))
os.remove(kit.path("thumb4000.jpg"))

# A picture whose IPTC record holds datasets the IPTC editor does not show
# (the record version, contacts, a content location, a second by-line).
kit.run(CONVERT, "-size", "64x48", "plasma:fractal", "-seed", "11", "-quality", "90", kit.path("iptc.jpg"))
kit.run(EXIFTOOL, "-q", "-overwrite_original", "-IPTC:ApplicationRecordVersion=4", "-IPTC:By-line=Ann",
        "-IPTC:By-line=Bob", "-IPTC:Contact=Desk", "-IPTC:ContentLocationName=Harbour",
        "-IPTC:Caption-Abstract=Old caption", "-IPTC:Keywords=sea", kit.path("iptc.jpg"))

# One small picture of every format the browser lists and reads (camera RAW
# comes from the TIFF tests' fixtures): ImageMagick writes them, and the
# Pocket PC 2-bit bitmap is a BMP of 2 bits a pixel spliced here.
FORMATS = ["bmp", "gif", "ico", "jpg", "pbm", "pcx", "pgm", "png", "pnm", "ppm", "psd", "tga", "tif"]
for ext in FORMATS:
    kit.run(CONVERT, "-size", "48x36", "plasma:fractal", "-seed", "13", kit.path("format." + ext))
width, height = 48, 36
stride = (width * 2 + 31) // 32 * 4
rows = b"".join(bytes((0x1B if (y // 6) % 2 else 0xE4) for _ in range(stride)) for y in range(height))
palette = b"".join(bytes((v, v, v, 0)) for v in (0, 85, 170, 255))
info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 2, 0, len(rows), 2835, 2835, 4, 4)
header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(palette) + len(rows), 0, 0, 14 + len(info) + len(palette))
with open(kit.path("format.2bp"), "wb") as f:
    f.write(header + info + palette + rows)

# A palette GIF and a small PNG.
kit.run(CONVERT, "-size", "40x30", "plasma:fractal", "-seed", "5", "-colors", "32", kit.path("palette.gif"))
kit.run(CONVERT, "-size", "48x32", "gradient:red-green", kit.path("gradient.png"))

with open(kit.MANIFEST, "w") as f:
    f.write("photo.jpg\nturn.jpg\nturn-rot90.jpg\ncamera.jpg\ncamera-rot90.jpg\nbig.jpg\ncamera4000.jpg\niptc.jpg\n"
            + "".join("format.%s\n" % ext for ext in FORMATS + ["2bp"]) + "palette.gif\ngradient.png\n")
