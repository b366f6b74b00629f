#!/usr/bin/python3
"""Real pages for the TIFF benchmark, made by Pillow from the photographs and
the scanned text page that Debian's python3-skimage ships:

  photo.ppm  3000 x 2000 RGB: a mosaic of the photographs, each brought to
             500 rows (from 300 to 872), mirrored where they repeat, so the
             codecs meet a photograph's texture and noise
  scan.pgm   2400 x 3200 grey: the scanned page, 3x (bicubic), repeated
  scan.pbm   the same page made bilevel by a local threshold (ink darker
             than its neighbourhood), as a scanner's fax mode would

    make_tiff_pages.py OUTDIR

Prints the three file names. Fails (exit 1) if the pictures are missing.
"""
import os
import sys

from PIL import Image, ImageChops, ImageFilter, ImageOps

DATA = "/usr/lib/python3/dist-packages/skimage/data"
PHOTOS = ["astronaut.png", "coffee.png", "chelsea.png", "rocket.jpg", "motorcycle_left.png", "hubble_deep_field.jpg"]
PAGE = "page.png"


def photo_mosaic(w, h):
    row_h = 500
    pictures = []
    for n in PHOTOS:
        if os.path.exists(os.path.join(DATA, n)):
            p = Image.open(os.path.join(DATA, n)).convert("RGB")
            pictures.append(p.resize((p.width * row_h // p.height, row_h), Image.LANCZOS))
    if len(pictures) < 3:
        raise SystemExit("make_tiff_pages.py: too few photographs in " + DATA)
    out = Image.new("RGB", (w, h))
    k = 0
    for row, y in enumerate(range(0, h, row_h)):
        x = 0
        while x < w:
            p = pictures[k % len(pictures)]
            out.paste(ImageOps.mirror(p) if (k + row) % 2 else p, (x, y))
            x += p.width
            k += 1
    return out


def scanned_page(w, h):
    page = Image.open(os.path.join(DATA, PAGE)).convert("L")
    page = page.resize((page.width * 3, page.height * 3), Image.BICUBIC)
    out = Image.new("L", (w, h), 255)
    for y in range(0, h, page.height):
        for x in range(0, w, page.width):
            out.paste(page, (x, y))
    return out


def bilevel(grey):
    background = grey.filter(ImageFilter.BoxBlur(24))
    # Ink: at least 24 levels darker than the neighbourhood's mean.
    darker = ImageChops.subtract(background, grey)
    return darker.point(lambda v: 0 if v >= 24 else 255).convert("1", dither=Image.NONE)


def main():
    if len(sys.argv) != 2:
        raise SystemExit("usage: make_tiff_pages.py OUTDIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    photo_mosaic(3000, 2000).save(os.path.join(out, "photo.ppm"))
    grey = scanned_page(2400, 3200)
    grey.save(os.path.join(out, "scan.pgm"))
    bilevel(grey).save(os.path.join(out, "scan.pbm"))
    for n in ("photo.ppm", "scan.pgm", "scan.pbm"):
        print(n)


if __name__ == "__main__":
    main()
