#!/usr/bin/python3
"""Pictures the viewer's end-to-end test browses, made with Pillow.

    make_fixtures.py OUTDIR

red.png (200 x 150), green.png (150 x 200) and blue.png (120 x 120) are
flat colours, so a thumbnail or the view can be recognised on the screen;
wide.jpg is 1000 x 700 (wider than the screen: turned in the view);
spin.gif is a two-frame animation (red, then blue, 100 ms each).
"""
import os
import sys

from PIL import Image

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)

Image.new("RGB", (200, 150), (230, 20, 20)).save(os.path.join(OUT, "red.png"))
Image.new("RGB", (150, 200), (20, 200, 20)).save(os.path.join(OUT, "green.png"))
Image.new("RGB", (120, 120), (20, 20, 230)).save(os.path.join(OUT, "blue.png"))
wide = Image.new("RGB", (1000, 700), (230, 20, 20))
wide.paste((20, 200, 20), (0, 0, 500, 700))
wide.save(os.path.join(OUT, "wide.jpg"), quality=90)
frames = [Image.new("RGB", (60, 60), c).convert("P") for c in ((230, 20, 20), (20, 20, 230))]
frames[0].save(os.path.join(OUT, "spin.gif"), save_all=True, append_images=frames[1:], duration=100, loop=0)
with open(os.path.join(OUT, "manifest.txt"), "w") as f:
    f.write("red.png green.png blue.png wide.jpg spin.gif\n")
