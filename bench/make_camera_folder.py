#!/usr/bin/python3
"""A folder of camera-sized photos for the viewer's start-up benchmark: 4000 x
3000 JPEG pictures with a camera's EXIF (maker, model, date, exposure) and
its 160 x 120 EXIF thumbnail, drawn like landscapes with fine texture so
they compress as photos do (a few MB each, not the kB of flat colour).

    make_camera_folder.py OUTDIR [COUNT] [DISTINCT]

COUNT files (default 500) named IMG_0000.JPG ... ; DISTINCT (default 20)
different pictures are drawn, and the others are hard links to them, so the
folder costs the disk DISTINCT pictures. The EXIF thumbnail goes in with
exiftool.
"""
import os
import random
import subprocess
import sys

from PIL import Image, ImageDraw, ImageFilter

W, H = 4000, 3000


def photo(seed):
    rnd = random.Random(seed)
    small = Image.new("RGB", (W // 8, H // 8))
    d = ImageDraw.Draw(small)
    top = (rnd.randrange(40, 120), rnd.randrange(100, 180), rnd.randrange(180, 255))
    bottom = (rnd.randrange(180, 255), rnd.randrange(150, 230), rnd.randrange(120, 200))
    for y in range(H // 8):
        t = y / float(H // 8 - 1)
        d.line([(0, y), (W // 8, y)], fill=tuple(int(a + (b - a) * t) for a, b in zip(top, bottom)))
    for layer in range(4):
        base = H // 8 * (0.5 + 0.12 * layer)
        colour = (rnd.randrange(20, 90), rnd.randrange(80, 170), rnd.randrange(20, 80))
        pts = [(x, base + rnd.randrange(-25, 25)) for x in range(0, W // 8 + 25, 25)]
        d.polygon(pts + [(W // 8, H // 8), (0, H // 8)], fill=colour)
    for _ in range(12):
        x, y, r = rnd.randrange(W // 8), rnd.randrange(H // 8), rnd.randrange(5, 40)
        d.ellipse([x - r, y - r, x + r, y + r], fill=tuple(rnd.randrange(256) for _ in range(3)))
    big = small.resize((W, H), Image.BICUBIC).filter(ImageFilter.GaussianBlur(3))
    # Fine detail, as foliage and sensor noise give a real photo.
    noise = Image.effect_noise((W, H), 28).convert("RGB")
    return Image.blend(big, noise, 0.18)


def main():
    out = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 500
    distinct = min(count, int(sys.argv[3]) if len(sys.argv) > 3 else 20)
    os.makedirs(out, exist_ok=True)
    originals = []
    for i in range(distinct):
        path = os.path.join(out, "IMG_%04d.JPG" % i)
        originals.append(path)
        if os.path.exists(path):
            continue
        picture = photo(i)
        exif = Image.Exif()
        exif[0x010F] = "Pellaro"          # Make
        exif[0x0110] = "Camera 12"        # Model
        exif[0x0132] = "2024:05:%02d 10:%02d:00" % (1 + i % 28, i % 60)  # DateTime
        exif[0x0112] = 1                  # Orientation
        picture.save(path, quality=92, exif=exif.tobytes())
        thumb = path + ".thumb.jpg"
        picture.resize((160, 120), Image.BILINEAR).save(thumb, quality=80)
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-ThumbnailImage<=" + thumb, path], check=True)
        os.remove(thumb)
    for i in range(distinct, count):
        path = os.path.join(out, "IMG_%04d.JPG" % i)
        if not os.path.exists(path):
            os.link(originals[i % distinct], path)


if __name__ == "__main__":
    main()
