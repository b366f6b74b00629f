#!/usr/bin/python3
"""Checks the picture scripts/run-viewer.sh --screenshot saved: the first
screen of thumbnails, not the start screen.

    check_screenshot.py SCREENSHOT SPLASH_ZIP

SPLASH_ZIP is the start screen's picture as built (a ZIP holding one BMP).
The screenshot must differ from it, and the file list (the lower half of the
screen) must show photos: many strongly coloured pixels where an empty list
is white.
"""
import colorsys
import io
import sys
import zipfile

from PIL import Image, ImageChops, ImageStat

shot = Image.open(sys.argv[1]).convert("RGB")
if shot.size != (240, 320):
    sys.exit("screenshot is %dx%d, not 240x320" % shot.size)
with zipfile.ZipFile(sys.argv[2]) as archive:
    splash = Image.open(io.BytesIO(archive.read(archive.namelist()[0]))).convert("RGB")
difference = sum(ImageStat.Stat(ImageChops.difference(shot, splash)).mean) / 3
if difference < 20:
    sys.exit("the screenshot shows the start screen (mean difference %.1f)" % difference)
lower = shot.crop((0, 170, 240, 290))
coloured = 0
for r, g, b in lower.getdata():
    if colorsys.rgb_to_hsv(r / 255, g / 255, b / 255)[1] > 0.25:
        coloured += 1
share = coloured / float(lower.width * lower.height)
if share < 0.15:
    sys.exit("no thumbnails in the file list: %.0f%% coloured pixels" % (100 * share))
print("first screen of thumbnails: %.0f%% coloured pixels in the list, %.1f from the start screen"
      % (100 * share, difference))
