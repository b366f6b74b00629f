#!/usr/bin/python3
"""An independent reader of a stand-alone slideshow's appended show, written
from its byte layout with struct: finds the magic after the given offset and
prints one line per field, then per picture its offset, size and the
picture's size as Pillow decodes it.

    read_show.py FILE SEARCH_START
"""
import io
import struct
import sys

from PIL import Image

data = open(sys.argv[1], "rb").read()
at = data.find(b"TRELMO-SCR", int(sys.argv[2]))
if at < 0:
    print("no magic")
    sys.exit(1)
pos = at + 10
flags, delay, background, reserved = struct.unpack_from("<IIII", data, pos)
pos += 16
print("magic_at %d" % at)
print("flags %d delay %d background %d reserved %d" % (flags, delay, background, reserved))
if flags & 8:
    (size,) = struct.unpack_from("<I", data, pos)
    pos += 4
    print("sound %d %s" % (size, data[pos:pos + 4].decode("latin-1")))
    pos += size
(count,) = struct.unpack_from("<I", data, pos)
pos += 4
offsets = struct.unpack_from("<%dI" % count, data, pos)
print("count %d" % count)
for i, offset in enumerate(offsets):
    end = offsets[i + 1] if i + 1 < count else len(data)
    with Image.open(io.BytesIO(data[offset:end])) as im:
        print("picture %d %s %dx%d" % (offset, im.format, im.width, im.height))
