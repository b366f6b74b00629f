#!/usr/bin/python3
"""Makes the animated GIF player's fixtures at build time: GIF files written
here byte by byte (so disposal methods, transparency, local colour tables,
offsets, interlacing and the LZW table's growth are exactly as wanted) and
one written by Pillow, each decoded frame by frame by Pillow (Debian's
/usr/bin/python3) into the composited pictures the player must match.

    make_fixtures.py OUTDIR

OUTDIR/manifest.txt has one line per file, "NAME FILE FRAMES", and each frame
i is OUTDIR/NAME.i.rgba (fixturekit's layout: width, height, then R, G, B, A
per pixel). Alpha 0 marks a pixel that is transparent in the frame.
"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fixturekit import MANIFEST, path, skip, write_expected  # noqa: E402

try:
    from PIL import Image
except ImportError:
    skip("Pillow is not installed for /usr/bin/python3")


def lzw(indices, min_code_size, clear_when_full=True):
    """GIF LZW codes of `indices`, packed least significant bit first."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out, acc, nbits = bytearray(), 0, 0
    size = min_code_size + 1

    def emit(code):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(acc & 255)
            acc >>= 8
            nbits -= 8

    def reset():
        return {(i,): i for i in range(clear)}, end + 1

    table, nxt = reset()
    emit(clear)
    cur = ()
    for v in indices:
        s = cur + (v,)
        if s in table:
            cur = s
            continue
        emit(table[cur])
        if nxt < 4096:
            table[s] = nxt
            nxt += 1
            if nxt > (1 << size) and size < 12:
                size += 1
        elif clear_when_full:
            emit(clear)
            table, nxt = reset()
            size = min_code_size + 1
        cur = (v,)
    if cur:
        emit(table[cur])
    emit(end)
    if nbits:
        out.append(acc & 255)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out += bytes([len(chunk)]) + chunk
    return bytes(out + b"\0")


def table_bits(colours):
    bits = 1
    while (1 << bits) < len(colours):
        bits += 1
    return bits


def packed_table(colours):
    bits = table_bits(colours)
    padded = list(colours) + [(0, 0, 0)] * ((1 << bits) - len(colours))
    return bits, b"".join(bytes(c) for c in padded)


def interlace_order(h):
    return list(range(0, h, 8)) + list(range(4, h, 8)) + list(range(2, h, 4)) + list(range(1, h, 2))


def gif(w, h, palette, frames, background=0):
    """frames: dicts with rect (x, y, w, h), pixels (rows of indices) and
    optionally delay, disposal, transparent, local (colours), interlace,
    min_code_size, clear_when_full."""
    bits, table = packed_table(palette)
    out = bytearray(b"GIF89a" + w.to_bytes(2, "little") + h.to_bytes(2, "little"))
    out += bytes([0x80 | 0x70 | (bits - 1), background, 0]) + table
    out += b"!\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    for f in frames:
        t = f.get("transparent")
        packed = (f.get("disposal", 0) << 2) | (1 if t is not None else 0)
        out += b"!\xf9\x04" + bytes([packed]) + f.get("delay", 10).to_bytes(2, "little")
        out += bytes([t or 0, 0])
        x, y, fw, fh = f["rect"]
        flags = 0x40 if f.get("interlace") else 0
        local = b""
        if "local" in f:
            lbits, local = packed_table(f["local"])
            flags |= 0x80 | (lbits - 1)
        out += b"," + b"".join(v.to_bytes(2, "little") for v in (x, y, fw, fh)) + bytes([flags]) + local
        rows = f["pixels"]
        order = interlace_order(fh) if f.get("interlace") else range(fh)
        indices = [v for r in order for v in rows[r]]
        mcs = f.get("min_code_size", max(2, bits))
        out += bytes([mcs]) + sub_blocks(lzw(indices, mcs, f.get("clear_when_full", True)))
    return bytes(out + b";")


rng = random.Random(16)
lines = []


def add(name, data):
    file = name + ".gif"
    with open(path(file), "wb") as f:
        f.write(data)
    im = Image.open(path(file))
    n = getattr(im, "n_frames", 1)
    for i in range(n):
        im.seek(i)
        rgba = im.convert("RGBA")
        write_expected("%s.%d" % (name, i), rgba.width, rgba.height, rgba.tobytes())
    lines.append("%s %s %d" % (name, file, n))


def block(w, h, fn):
    return [[fn(x, y) for x in range(w)] for y in range(h)]


# Sixteen grey-to-colour entries; 15 is the transparent one where used.
pal16 = [(i * 16, 255 - i * 16, (i * 37) % 256) for i in range(16)]

# Disposal methods 1, 2 and 3 on offset frames with transparency, the last
# frame reaching past the screen's right and bottom edges.
add("disposal", gif(24, 20, pal16, [
    dict(rect=(0, 0, 24, 20), pixels=block(24, 20, lambda x, y: (x // 3 + y // 4) % 15), transparent=15),
    dict(rect=(4, 3, 10, 8), pixels=block(10, 8, lambda x, y: 15 if (x + y) % 3 == 0 else 1 + x % 5),
         disposal=2, transparent=15),
    dict(rect=(8, 6, 12, 10), pixels=block(12, 10, lambda x, y: 15 if x == y else 7 + y % 4),
         disposal=3, transparent=15),
    dict(rect=(2, 2, 6, 6), pixels=block(6, 6, lambda x, y: 12), disposal=1, transparent=15),
    dict(rect=(16, 12, 8, 8), pixels=block(8, 8, lambda x, y: (x * y) % 15), disposal=2, transparent=15),
    dict(rect=(0, 0, 4, 4), pixels=block(4, 4, lambda x, y: 9), transparent=15),
]))

# Local colour tables of other sizes and colours on partial frames, with
# and without transparency: the earlier frames' pixels keep their colours.
local8 = [(250, 10 * i, 5) for i in range(8)]
local4 = [(1, 2, 3), pal16[0], pal16[3], (9, 9, 250)]
add("palettes", gif(20, 16, pal16, [
    dict(rect=(0, 0, 20, 16), pixels=block(20, 16, lambda x, y: (x + 2 * y) % 16)),
    dict(rect=(3, 2, 8, 6), pixels=block(8, 6, lambda x, y: (x + y) % 8), local=local8),
    dict(rect=(10, 8, 8, 7), pixels=block(8, 7, lambda x, y: (x ^ y) % 4), local=local4, transparent=0),
    dict(rect=(0, 0, 5, 5), pixels=block(5, 5, lambda x, y: 15 - x), local=list(reversed(pal16))),
]))

# An interlaced frame of an awkward height, a minimum code size of 8 with
# noise that fills the LZW table (cleared when full, and kept full without a
# clear: later codes use the table as it stands).
noise = block(96, 64, lambda x, y: rng.randrange(256))
pal256 = [((i * 7) % 256, (i * 13) % 256, (i * 29) % 256) for i in range(256)]
# The last frame's new colours go into entries no pixel on the canvas uses.
add("lzw", gif(96, 64, pal256, [
    dict(rect=(0, 0, 96, 64), pixels=noise, min_code_size=8),
    dict(rect=(0, 0, 96, 64), pixels=block(96, 64, lambda x, y: rng.randrange(200)), min_code_size=8,
         clear_when_full=False),
    dict(rect=(5, 3, 50, 37), pixels=block(50, 37, lambda x, y: (x * 3 + y) % 180), interlace=True),
    dict(rect=(0, 0, 3, 2), pixels=block(3, 2, lambda x, y: 1), min_code_size=2),
    dict(rect=(60, 40, 9, 7), pixels=block(9, 7, lambda x, y: (x + y) % 4),
         local=[(3, 1, 4), (1, 5, 9), pal256[7], (2, 6, 5)]),
]))

# Roots of 9 bits for 8-bit pixels, as some writers declare them.
add("root9", gif(40, 30, pal256, [
    dict(rect=(0, 0, 40, 30), pixels=block(40, 30, lambda x, y: rng.randrange(256)), min_code_size=9),
    dict(rect=(6, 4, 20, 12), pixels=block(20, 12, lambda x, y: (x * y) % 256), min_code_size=9),
]))

# A GIF Pillow wrote itself from three pictures.
seq = [Image.new("P", (30, 20), c) for c in (1, 2, 3)]
for i, im in enumerate(seq):
    im.putpalette([v for c in pal16 for v in c])
    for y in range(i * 4, i * 4 + 6):
        for x in range(30):
            im.putpixel((x, y), (x + i) % 16)
seq[0].save(path("pillow.gif"), save_all=True, append_images=seq[1:], duration=[0, 70, 200], loop=0)
add("pillow", open(path("pillow.gif"), "rb").read())

with open(MANIFEST, "w") as f:
    f.write("\n".join(lines) + "\n")
