#!/usr/bin/python3
"""Checks with Pillow the pictures commands_win_test's tools wrote.

    check_tool_outputs.py DEVICE_ROOT FIXTURES

converted.png (Convert to PNG of the tools' photo.jpg) must be a PNG of the
source's size whose pixels match Pillow's own decoding of the source.
PV_DEVICE_ROOT, when set, names the device root instead.
"""
import os
import sys

from PIL import Image, ImageChops, ImageStat

root = os.environ.get("PV_DEVICE_ROOT") or sys.argv[1]
fixtures = sys.argv[2]
kept = os.path.join(root, "Temp", "commands_outputs")

converted = Image.open(os.path.join(kept, "converted.png"))
source = Image.open(os.path.join(fixtures, "photo.jpg")).convert("RGB")
failures = []
if converted.format != "PNG":
    failures.append("converted.png is %s, not PNG" % converted.format)
if converted.size != source.size:
    failures.append("converted.png is %s, the source %s" % (converted.size, source.size))
else:
    difference = ImageStat.Stat(ImageChops.difference(converted.convert("RGB"), source)).mean
    if max(difference) > 2.0:
        failures.append("converted.png differs from the source by %s on average" % difference)
for failure in failures:
    print(failure)
print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
