#!/usr/bin/python3
"""Pages of every reader and bit depth for the reduced-load benchmark, drawn
and written by Pillow (and ImageMagick where Pillow writes no such file):
a photo-like page (gradients, shapes, fine texture) and a text page.

    make_reduced_pages.py OUTDIR

Prints one file name a line, as written into OUTDIR.
"""
import os
import random
import subprocess
import sys

from PIL import Image, ImageDraw, ImageFilter

W, H = 1600, 1200


def photo():
    rnd = random.Random(7)
    small = Image.new("RGB", (W // 4, H // 4))
    d = ImageDraw.Draw(small)
    for y in range(H // 4):
        t = y / (H // 4)
        d.line([(0, y), (W // 4, y)], fill=(int(60 + 150 * t), int(120 + 80 * t), int(220 - 120 * t)))
    for _ in range(60):
        x, y, r = rnd.randrange(W // 4), rnd.randrange(H // 4), rnd.randrange(4, 40)
        d.ellipse([x - r, y - r, x + r, y + r], fill=(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)))
    img = small.resize((W, H), Image.BICUBIC).filter(ImageFilter.GaussianBlur(2))
    noise = Image.effect_noise((W, H), 24).convert("RGB")
    return Image.blend(img, noise, 0.15)


def text_page():
    rnd = random.Random(3)
    img = Image.new("L", (W, H), 255)
    d = ImageDraw.Draw(img)
    words = ["picture", "viewer", "strip", "thumbnail", "page", "scan", "the", "of", "and", "letter"]
    for y in range(40, H - 40, 22):
        x = 60
        while x < W - 200:
            w = " ".join(rnd.choice(words) for _ in range(3))
            d.text((x, y), w, fill=0)
            x += 30 + 6 * len(w)
    return img


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rgb = photo()
    grey = rgb.convert("L")
    text = text_page()
    bits = text.convert("1", dither=Image.NONE)
    p256 = rgb.quantize(256)
    p16 = rgb.quantize(16)
    p4 = rgb.quantize(4)
    rgba = rgb.copy()
    rgba.putalpha(grey)
    written = []

    def save(name, img, **kw):
        img.save(os.path.join(out, name), **kw)
        written.append(name)

    def magick(name, *args, prefix=""):
        src = os.path.join(out, "source.png")
        rgb.save(src)
        subprocess.run(["convert", src, *args, prefix + os.path.join(out, name)], check=True)
        os.remove(src)
        written.append(name)

    save("bmp-1.bmp", bits)
    magick("bmp-4.bmp", "-colors", "16", "-type", "Palette", prefix="BMP3:")
    save("bmp-8.bmp", p256)
    save("bmp-24.bmp", rgb)
    save("bmp-32.bmp", rgba)
    save("png-1.png", bits)
    save("png-2.png", p4, bits=2)
    save("png-4.png", p16, bits=4)
    save("png-8-palette.png", p256)
    save("png-8-grey.png", grey)
    save("png-16-grey.png", grey.point(lambda v: v * 257, "I").convert("I;16"))
    save("png-24.png", rgb)
    save("png-32.png", rgba)
    save("gif-8.gif", p256)
    save("jpg-grey.jpg", grey, quality=90)
    save("jpg-colour.jpg", rgb, quality=90)
    save("tif-1-g4.tif", bits, compression="group4")
    save("tif-1-none.tif", bits)
    save("tif-8-grey-lzw.tif", grey, compression="tiff_lzw")
    save("tif-8-palette.tif", p256)
    save("tif-24-lzw.tif", rgb, compression="tiff_lzw")
    save("tif-24-deflate.tif", rgb, compression="tiff_adobe_deflate")
    save("tif-24-packbits.tif", rgb, compression="packbits")
    save("tif-24-jpeg.tif", rgb, compression="jpeg", quality=90)
    save("tif-32.tif", rgba, compression="tiff_lzw")
    magick("tif-4-grey.tif", "-colorspace", "Gray", "-depth", "4")
    magick("tif-48.tif", "-depth", "16", "-compress", "None")
    save("pcx-1.pcx", bits)
    save("pcx-8.pcx", p256)
    save("pcx-24.pcx", rgb)
    save("tga-8.tga", grey)
    save("tga-24.tga", rgb)
    save("tga-32.tga", rgba)
    save("pnm-1.pbm", bits)
    save("pnm-8.pgm", grey)
    save("pnm-24.ppm", rgb)
    magick("psd-24.psd")
    for name in written:
        print(name)


if __name__ == "__main__":
    main()
