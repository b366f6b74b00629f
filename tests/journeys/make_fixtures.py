#!/usr/bin/python3
"""The pictures the viewer's journeys browse, made with Pillow, Python's
zipfile and ImageMagick.

    make_fixtures.py OUTDIR

Folder "pics": a.png (blue), b.png (green), c.png (red) in flat colours, so
a thumbnail or the view can be told on the screen; d.jpg, a 400 x 400 JPEG
of four coloured quarters (red, green, blue, yellow clockwise from the top
left) around a white centre square of 40 x 40, for zoom, pan and selection;
e.tif, two pages (ImageMagick): a 1200 x 1000 red page, then a 100 x 80
blue one. Folder "more": show.alb, an album of a green and a blue picture;
broken.jpg, a JPEG cut after its header; f.png (red). Folder "damaged":
half.jpg and rowless.jpg, cut photos (see below). Folder "camera":
photo.jpg, a 4000 x 3000 photo; folder "giant": giant.jpg, larger than
the load budget (see below).
"""
import io
import os
import subprocess
import sys
import zipfile

from PIL import Image

OUT = sys.argv[1]
PICS = os.path.join(OUT, "pics")
MORE = os.path.join(OUT, "more")
os.makedirs(PICS, exist_ok=True)
os.makedirs(MORE, exist_ok=True)

BLUE, GREEN, RED, YELLOW = (20, 20, 230), (20, 200, 20), (230, 20, 20), (230, 230, 20)

Image.new("RGB", (160, 120), BLUE).save(os.path.join(PICS, "a.png"))
Image.new("RGB", (120, 160), GREEN).save(os.path.join(PICS, "b.png"))
Image.new("RGB", (160, 160), RED).save(os.path.join(PICS, "c.png"))


def quarters(w, h, square):
    """Red, green, yellow and blue quarters around a white centre square."""
    im = Image.new("RGB", (w, h))
    im.paste(RED, (0, 0, w // 2, h // 2))
    im.paste(GREEN, (w // 2, 0, w, h // 2))
    im.paste(YELLOW, (0, h // 2, w // 2, h))
    im.paste(BLUE, (w // 2, h // 2, w, h))
    im.paste((255, 255, 255), ((w - square) // 2, (h - square) // 2, (w + square) // 2, (h + square) // 2))
    return im


quarters(400, 400, 40).save(os.path.join(PICS, "d.jpg"), quality=95)
subprocess.run(["convert", "-size", "1200x1000", "xc:rgb(230,20,20)", "-size", "100x80", "xc:rgb(20,20,230)", "-depth", "8",
                "-compress", "lzw", os.path.join(PICS, "e.tif")], check=True)

Image.new("RGB", (160, 120), RED).save(os.path.join(MORE, "f.png"))
whole = io.BytesIO()
Image.new("RGB", (200, 150), BLUE).save(whole, "JPEG", quality=90)
with open(os.path.join(MORE, "broken.jpg"), "wb") as f:
    f.write(whole.getvalue()[:300])

# Folder "damaged": two photos larger than twice the screen, both cut short.
# half.jpg keeps its header and the first half of its rows (a green top over
# a blue bottom, so a complete picture would show blue below); rowless.jpg
# stops right after its scan header, before any row.
DAMAGED = os.path.join(OUT, "damaged")
os.makedirs(DAMAGED, exist_ok=True)
photo = Image.new("RGB", (600, 800), BLUE)
photo.paste(GREEN, (0, 0, 600, 400))
whole = io.BytesIO()
photo.save(whole, "JPEG", quality=90)
data = whole.getvalue()
scan = data.index(b"\xff\xda")
scan_end = scan + 2 + int.from_bytes(data[scan + 2:scan + 4], "big")
with open(os.path.join(DAMAGED, "half.jpg"), "wb") as f:
    f.write(data[:scan_end + (len(data) - scan_end) * 2 // 5])
with open(os.path.join(DAMAGED, "rowless.jpg"), "wb") as f:
    f.write(data[:scan_end])
pictures = []
for colour in (GREEN, BLUE):
    data = io.BytesIO()
    Image.new("RGB", (160, 120), colour).save(data, "JPEG", quality=90)
    pictures.append(data.getvalue())
with zipfile.ZipFile(os.path.join(MORE, "show.alb"), "w", zipfile.ZIP_DEFLATED) as album:
    album.writestr("config", "#Trelmo Album\r\ncount = 2\r\n0000,green.jpg\r\n0001,blue.jpg\r\nDelay = 1\r\n"
                             "Transitions = 0\r\nAudio = 0\r\nLoop = 1\r\n")
    album.writestr("0000", pictures[0])
    album.writestr("0001", pictures[1])

# Folder "camera": photo.jpg, a camera-sized 4000 x 3000 JPEG of the same
# four quarters around a white centre square of 40 x 40, which the viewer
# decodes reduced to the screen: the square's width on the screen tells the
# zoom in the picture's own pixels.
CAMERA = os.path.join(OUT, "camera")
os.makedirs(CAMERA, exist_ok=True)
quarters(4000, 3000, 40).save(os.path.join(CAMERA, "photo.jpg"), quality=95)

# Folder "giant": giant.jpg, 15000 x 12000 of the same quarters around a
# white square of 200 x 200, larger at full size than the load's memory
# budget. Written row by row through cjpeg, so that making it holds no
# whole picture.
GIANT = os.path.join(OUT, "giant")
os.makedirs(GIANT, exist_ok=True)
width, height, side = 15000, 12000, 200
encoder = subprocess.Popen(["cjpeg", "-quality", "75", "-outfile", os.path.join(GIANT, "giant.jpg")],
                           stdin=subprocess.PIPE)
encoder.stdin.write(b"P6 %d %d 255\n" % (width, height))
for row in range(height):
    left, right = (RED, GREEN) if row < height // 2 else (YELLOW, BLUE)
    line = bytearray(bytes(left) * (width // 2) + bytes(right) * (width // 2))
    if abs(row - height // 2) < side // 2:
        line[(width - side) // 2 * 3:(width + side) // 2 * 3] = b"\xff" * (side * 3)
    encoder.stdin.write(line)
encoder.stdin.close()
if encoder.wait() != 0:
    sys.exit("cjpeg failed")
with open(os.path.join(OUT, "manifest.txt"), "w") as f:
    f.write("pics: a.png b.png c.png d.jpg e.tif\nmore: broken.jpg f.png show.alb\n")
