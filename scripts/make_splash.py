#!/usr/bin/python3
"""Draws the start screen's picture at build time and packs it as the
program expects it: a ZIP archive whose one item is a 240 x 320 BMP with a
256-colour palette, uncompressed, bottom-up.

    make_splash.py <output.zip>

The six tiles sit where the start screen's tile table puts them; their
labels are drawn by the program below each tile.
"""
import io
import sys
import zipfile

from PIL import Image, ImageDraw

TILES = [(10, 48, 74, 112), (84, 48, 148, 112), (164, 48, 228, 112),
         (10, 165, 74, 229), (84, 165, 148, 229), (164, 165, 228, 229)]
COLOURS = [(40, 110, 200), (220, 140, 30), (60, 160, 70), (170, 60, 160), (200, 60, 60), (90, 90, 90)]


def draw_symbol(d, i, box):
    l, t, r, b = box
    cx, cy = (l + r) // 2, (t + b) // 2
    white = (255, 255, 255)
    if i == 0:  # a folder
        d.rectangle([l + 12, t + 22, r - 12, b - 14], fill=white)
        d.rectangle([l + 12, t + 16, cx - 2, t + 22], fill=white)
    elif i == 1:  # an album: a book with a play mark
        d.rectangle([l + 14, t + 12, r - 14, b - 12], outline=white, width=3)
        d.polygon([(cx - 6, cy - 9), (cx - 6, cy + 9), (cx + 9, cy)], fill=white)
    elif i == 2:  # a new album: a book with a plus
        d.rectangle([l + 14, t + 12, r - 14, b - 12], outline=white, width=3)
        d.rectangle([cx - 2, cy - 10, cx + 2, cy + 10], fill=white)
        d.rectangle([cx - 10, cy - 2, cx + 10, cy + 2], fill=white)
    elif i == 3:  # a slideshow: a screen on a stand
        d.rectangle([l + 10, t + 12, r - 10, b - 22], outline=white, width=3)
        d.rectangle([cx - 2, b - 22, cx + 2, b - 12], fill=white)
        d.rectangle([cx - 12, b - 14, cx + 12, b - 11], fill=white)
    elif i == 4:  # a card
        d.polygon([(l + 16, t + 10), (r - 24, t + 10), (r - 16, t + 18), (r - 16, b - 10), (l + 16, b - 10)],
                  fill=white)
    else:  # options: a cog
        d.ellipse([cx - 18, cy - 18, cx + 18, cy + 18], outline=white, width=6)
        d.ellipse([cx - 5, cy - 5, cx + 5, cy + 5], fill=white)


def make_bitmap():
    image = Image.new("RGB", (240, 320), (235, 240, 248))
    d = ImageDraw.Draw(image)
    d.rectangle([0, 0, 239, 30], fill=(30, 60, 120))
    d.text((10, 9), "Trelmo", fill=(255, 255, 255))
    for i, box in enumerate(TILES):
        d.rounded_rectangle(box, radius=8, fill=COLOURS[i])
        draw_symbol(d, i, box)
    indexed = image.quantize(colors=256, dither=Image.Dither.NONE)
    # Pillow writes the palette it holds; pad it to all 256 entries.
    palette = indexed.getpalette()[:768]
    indexed.putpalette(palette + [0] * (768 - len(palette)))
    out = io.BytesIO()
    indexed.save(out, format="BMP")
    data = bytearray(out.getvalue())
    # 256 colours used, stated explicitly.
    data[46:50] = (256).to_bytes(4, "little")
    return bytes(data)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    data = make_bitmap()
    with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
        info = zipfile.ZipInfo("splash.bmp", date_time=(2024, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, data)


if __name__ == "__main__":
    main()
