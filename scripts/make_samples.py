#!/usr/bin/python3
"""Sample pictures of our own for trying the viewer: a few folders of
generated "photos", a GIF animation, a PNG with transparency and, when asked,
a multi-page TIFF.

    make_samples.py <folder> [--tiff] [--count N]

Writes into <folder> (made when missing): Holiday/, Garden/, City/ with JPEG
photos, Animations/spinner.gif and Graphics/badge.png (and pages.tif).
Pictures already there are kept, so a second run is quick.
"""
import math
import os
import random
import sys

from PIL import Image, ImageDraw

W, H = 640, 480


def photo(seed, width=W, height=H):
    """A landscape-like picture: sky gradient, sun, hills, a few shapes."""
    rnd = random.Random(seed)
    img = Image.new("RGB", (width, height))
    d = ImageDraw.Draw(img)
    top = (rnd.randrange(40, 120), rnd.randrange(100, 180), rnd.randrange(180, 255))
    bottom = (rnd.randrange(180, 255), rnd.randrange(150, 230), rnd.randrange(120, 200))
    for y in range(height):
        t = y / float(height - 1)
        d.line([(0, y), (width, y)], fill=tuple(int(a + (b - a) * t) for a, b in zip(top, bottom)))
    sx, sy, r = rnd.randrange(width), rnd.randrange(height // 3), rnd.randrange(20, 60)
    d.ellipse([sx - r, sy - r, sx + r, sy + r], fill=(255, 230, rnd.randrange(60, 140)))
    for layer in range(3):
        base = height * (0.55 + 0.12 * layer)
        colour = (rnd.randrange(20, 90), rnd.randrange(90, 170), rnd.randrange(20, 80))
        amp, freq, phase = rnd.randrange(10, 50), rnd.uniform(0.005, 0.02), rnd.uniform(0, 6)
        pts = [(x, base + amp * math.sin(freq * x + phase)) for x in range(0, width + 8, 8)]
        d.polygon(pts + [(width, height), (0, height)], fill=colour)
    for _ in range(rnd.randrange(2, 6)):
        x, y = rnd.randrange(width), rnd.randrange(height // 2, height)
        s = rnd.randrange(10, 40)
        d.rectangle([x, y - 2 * s, x + s, y], fill=(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)))
    return img


def save_jpeg(path, img):
    if not os.path.exists(path):
        img.save(path, "JPEG", quality=85)


def spinner(path):
    frames = []
    for i in range(8):
        img = Image.new("P", (64, 64), 0)
        img.putpalette([255, 255, 255] + [0, 0, 0] * 3 + [220, 40, 40, 40, 80, 220] + [0, 0, 0] * 250)
        d = ImageDraw.Draw(img)
        a = i * math.pi / 4
        x, y = 32 + 20 * math.cos(a), 32 + 20 * math.sin(a)
        d.ellipse([x - 8, y - 8, x + 8, y + 8], fill=4)
        d.ellipse([24, 24, 40, 40], fill=5)
        frames.append(img)
    frames[0].save(path, save_all=True, append_images=frames[1:], duration=120, loop=0)


def badge(path):
    img = Image.new("RGBA", (200, 200), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.ellipse([10, 10, 190, 190], fill=(30, 120, 220, 255))
    d.ellipse([50, 50, 150, 150], fill=(250, 250, 250, 160))
    d.polygon([(100, 20), (125, 90), (190, 100), (125, 115), (100, 180), (75, 115), (10, 100), (75, 90)],
              fill=(250, 200, 30, 220))
    img.save(path)


def pages(path):
    imgs = [photo(900 + i, 320, 240) for i in range(3)]
    imgs[0].save(path, save_all=True, append_images=imgs[1:], compression="tiff_deflate")


def main():
    args = sys.argv[1:]
    if not args:
        print(__doc__)
        return 2
    root = args[0]
    tiff = "--tiff" in args
    count = int(args[args.index("--count") + 1]) if "--count" in args else 6
    for n, folder in enumerate(("Holiday", "Garden", "City")):
        os.makedirs(os.path.join(root, folder), exist_ok=True)
        for i in range(count):
            w, h = (W, H) if i % 3 else (H, W)  # every third one portrait
            save_jpeg(os.path.join(root, folder, "%s %02d.jpg" % (folder.lower(), i + 1)), photo(n * 100 + i, w, h))
    os.makedirs(os.path.join(root, "Animations"), exist_ok=True)
    spinner(os.path.join(root, "Animations", "spinner.gif"))
    os.makedirs(os.path.join(root, "Graphics"), exist_ok=True)
    badge(os.path.join(root, "Graphics", "badge.png"))
    if tiff:
        pages(os.path.join(root, "Graphics", "pages.tif"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
