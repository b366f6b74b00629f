#!/usr/bin/python3
"""Makes the reader fixtures and their expected pixels with tools no one here
wrote, at build time, so both the native and the Win64 tests can compare.

    make_fixtures.py OUTDIR

Pictures are written by ImageMagick and netpbm (a few layouts those tools do
not write, such as RLE4, 2-bit and top-down bitmaps, are packed here from a
picture they made), and decoded by Pillow or netpbm into OUTDIR/NAME.rgba:
width and height as 32-bit little-endian values, then R, G, B, A bytes, top
row first. Samples of more than 8 bits come from netpbm's plain output and
are narrowed as the reader documents (v * 255 / maxval, truncating; v >> 8
for maxval 65535).

OUTDIR/manifest.txt has one line per fixture: "NAME FILE CHECK", CHECK being
"rgb", "rgba" or "refuse" (the reader must refuse the file with 2). When a
tool is missing the manifest holds one line "skip REASON".
"""
import io
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fixturekit import MANIFEST, path, require, run, skip, write_expected  # noqa: E402


try:
    from PIL import Image
except ImportError:
    skip("Pillow is not installed for /usr/bin/python3")
require("convert", "pamdepth", "pnmtoplainpnm", "bmptopnm", "xvminitoppm", "pamtopam")

lines = []


def magick(src, dst, *opts):
    run("convert", src, *opts, dst)


def expect_pillow(name, fixture, check="rgb"):
    im = Image.open(path(fixture))
    write_expected(name, im.size[0], im.size[1], im.convert("RGBA").tobytes())
    lines.append("%s %s %s" % (name, fixture, check))


def parse_plain(data):
    """Width, height, maxval, samples per pixel and samples of a plain PNM."""
    tokens = []
    magic = data[:2]
    body = data[2:]
    for line in body.split(b"\n"):
        line = line.split(b"#")[0]
        tokens.extend(line.split())
    w, h = int(tokens[0]), int(tokens[1])
    if magic == b"P1":
        bits = b"".join(tokens[2:]).decode()
        return w, h, 1, 1, [1 - int(c) for c in bits]
    maxval = int(tokens[2])
    spp = 3 if magic == b"P3" else 1
    return w, h, maxval, spp, [int(t) for t in tokens[3:]]


def narrow(v, maxval):
    if maxval == 255:
        return v
    if maxval == 65535:
        return v >> 8
    return v * 255 // maxval


def expect_netpbm(name, fixture, decoded_pnm):
    """Expected pixels from netpbm's plain rendering of a decoded picture."""
    w, h, maxval, spp, samples = parse_plain(run("pnmtoplainpnm", stdin=decoded_pnm))
    rgba = bytearray()
    for i in range(w * h):
        if spp == 3:
            r, g, b = (narrow(s, maxval) for s in samples[3 * i:3 * i + 3])
        else:
            r = g = b = narrow(samples[i], maxval)
        rgba += bytes((r, g, b, 255))
    write_expected(name, w, h, rgba)
    lines.append("%s %s rgb" % (name, fixture))


# A colourful source picture with an odd size (row padding on every path).
SRC = path("src.ppm")
run("convert", "-seed", "7", "-size", "37x21", "plasma:", "-depth", "8", SRC)
GREY = path("src.pgm")
run("convert", SRC, "-colorspace", "Gray", "-depth", "8", GREY)

# --- BMP: ImageMagick writes, Pillow decodes -------------------------------
bmp_cases = [
    ("bmp_1bit", "bmp3:", ["-monochrome"]),
    ("bmp_4bit", "bmp3:", ["-colors", "16", "-type", "Palette"]),
    ("bmp_8bit", "bmp3:", ["-colors", "200", "-type", "Palette"]),
    ("bmp_24bit", "bmp3:", ["-type", "TrueColor"]),
    ("bmp_rle8", "bmp3:", ["-colors", "60", "-type", "Palette", "-compress", "RLE"]),
    ("bmp_os2_1bit", "bmp2:", ["-monochrome"]),
    ("bmp_os2_4bit", "bmp2:", ["-colors", "16", "-type", "Palette"]),
    ("bmp_os2_8bit", "bmp2:", ["-colors", "200", "-type", "Palette"]),
    ("bmp_os2_24bit", "bmp2:", ["-type", "TrueColor"]),
    ("bmp_v5_24bit", "bmp:", ["-type", "TrueColor"]),
    ("bmp_rgb565", "bmp:", ["-define", "bmp:subtype=RGB565"]),
    ("bmp_rgb555", "bmp:", ["-define", "bmp:subtype=RGB555"]),
]
for name, coder, opts in bmp_cases:
    if "RLE" not in opts:
        opts = opts + ["-compress", "None"]
    magick(SRC, coder + path(name + ".bmp"), *opts)
    expect_pillow(name, name + ".bmp")

# 32-bit with a real alpha channel, bit-field masks in a V5 header.
magick(SRC, "bmp:" + path("bmp_argb8888.bmp"), "-alpha", "set", "-channel", "A", "-fx", "(i+j)/60",
       "+channel", "-define", "bmp:subtype=ARGB8888")
expect_pillow("bmp_argb8888", "bmp_argb8888.bmp", "rgba")
# 32-bit without masks (the fourth byte unused).
magick(SRC, "bmp3:" + path("bmp_32bit.bmp"), "-alpha", "set", "-define", "bmp3:alpha=true")
expect_pillow("bmp_32bit", "bmp_32bit.bmp")


def bmp_parts(data):
    off, = struct.unpack_from("<I", data, 10)
    w, h, planes, bits = struct.unpack_from("<iiHH", data, 18)
    return off, w, h, bits


# Top-down: the 24-bit picture with its rows reversed and a negative height.
src24 = open(path("bmp_24bit.bmp"), "rb").read()
off, w, h, bits = bmp_parts(src24)
stride = (w * 3 + 3) // 4 * 4
rows = [src24[off + y * stride:off + (y + 1) * stride] for y in range(h)]
topdown = bytearray(src24[:off]) + b"".join(reversed(rows))
struct.pack_into("<i", topdown, 22, -h)
open(path("bmp_topdown.bmp"), "wb").write(topdown)
expect_pillow("bmp_topdown", "bmp_topdown.bmp")



def palette_picture(colours):
    """Rows (bottom-up) of indexes and the B, G, R, 0 palette of a picture
    reduced to `colours` by ImageMagick."""
    tmp = path("tmp_%d.bmp" % colours)
    magick(SRC, "bmp3:" + tmp, "-colors", str(colours), "-type", "Palette", "-compress", "None")
    data = open(tmp, "rb").read()
    os.remove(tmp)
    off, w, h, bits = bmp_parts(data)
    info, = struct.unpack_from("<I", data, 14)
    used, = struct.unpack_from("<I", data, 46)
    pal = data[14 + info:off]
    if bits == 8:
        stride = (w + 3) // 4 * 4
        rows = [list(data[off + y * stride:off + y * stride + w]) for y in range(h)]
    else:  # 4-bit
        stride = (w * 4 + 31) // 32 * 4
        rows = [[data[off + y * stride + x // 2] >> (4 - 4 * (x % 2)) & 15 for x in range(w)]
                for y in range(h)]
    return w, h, rows, pal


def write_bmp(name, w, h, bits, compression, pal, pixel_data):
    off = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, len(pixel_data), 2835, 2835,
                       len(pal) // 4, 0)
    data = b"BM" + struct.pack("<IHHI", off + len(pixel_data), 0, 0, off) + info + pal + pixel_data
    open(path(name), "wb").write(data)


# 2-bit ("2bp"): four colours; netpbm decodes it (Pillow does not take 2-bit).
w, h, rows, pal = palette_picture(4)
data = bytearray()
for r in rows:
    b = bytearray((w * 2 + 31) // 32 * 4)
    for x, v in enumerate(r):
        b[x // 4] |= (v & 3) << (6 - 2 * (x % 4))
    data += b
write_bmp("bmp_2bit.2bp", w, h, 2, 0, pal[:16], bytes(data))
expect_netpbm("bmp_2bit", "bmp_2bit.2bp", run("bmptopnm", path("bmp_2bit.2bp")))

def rle_encode(rows, w, bits):
    """RLE8/RLE4 with encoded and absolute runs, one delta (two rows down,
    three columns right) and an end of bitmap that leaves the top row blank."""
    out = bytearray()
    h = len(rows)
    delta_row = h // 2
    y, x = 0, 0
    while y < h:
        if y == h - 1:
            break
        if y == delta_row:
            out += bytes((0, 2, 3, 2))
            y, x = y + 2, 3
            continue
        r = rows[y]
        while x < w:
            run = 1
            while x + run < w and run < 255 and r[x + run] == r[x]:
                run += 1
            if run >= 3 or w - x < 3:
                n = run if run >= 3 else 1
                out += bytes((n, r[x] if bits == 8 else r[x] << 4 | r[x]))
                x += n
                continue
            n = 3
            while x + n < w and n < 40 and r[x + n] != r[x + n - 1]:
                n += 1
            lit = bytes(r[x:x + n]) if bits == 8 else bytes(
                r[x + i] << 4 | (r[x + i + 1] if i + 1 < n else 0) for i in range(0, n, 2))
            out += bytes((0, n)) + lit + (b"\0" if len(lit) % 2 else b"")
            x += n
        out += bytes((0, 0))
        y, x = y + 1, 0
    out += bytes((0, 1))
    return bytes(out)


def expect_magick(name, fixture, check="rgb"):
    """Expected pixels decoded by ImageMagick (its RLE decoder follows deltas
    and the end of bitmap)."""
    # It warns about the rows an early end of bitmap leaves out (exit 1) but
    # still writes the picture.
    png = subprocess.run(("convert", path(fixture), "-depth", "8", "png:-"), stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL).stdout
    im = Image.open(io.BytesIO(png))
    write_expected(name, im.size[0], im.size[1], im.convert("RGBA").tobytes())
    lines.append("%s %s %s" % (name, fixture, check))


for bits, colours in ((4, 16), (8, 100)):
    w, h, rows, pal = palette_picture(colours)
    name = "bmp_rle%d_delta" % bits
    write_bmp(name + ".bmp", w, h, bits, 2 if bits == 4 else 1, pal, rle_encode(rows, w, bits))
    expect_magick(name, name + ".bmp")

# Depths outside the format's own that writers use: 15-bit words and
# indexes of fewer than 8 bits stored a byte each. No tool reads them, so
# each is the same pixel data as a file of the format's own depth (16 and 8
# bits) with only the bit count changed, and must show what Pillow and
# ImageMagick both read from that file.
def magick_rgba(fixture):
    return run("convert", path(fixture), "-depth", "8", "rgba:-")


def expect_as_depth(name, fixture, stored_bits, original, field_bits=8):
    """The original file with its bit count set to `stored_bits`. The two
    decoders widen 5-bit fields differently (Pillow as the library does,
    v * 255 / 31), so they are compared on the top `field_bits` bits."""
    data = bytearray(open(path(original), "rb").read())
    struct.pack_into("<H", data, 28, stored_bits)
    expect_patched(name, fixture, data, original, field_bits)


def expect_patched(name, fixture, data, original, field_bits):
    """`fixture` holds `data`, the original file with its header patched: it
    must read as Pillow and ImageMagick both read the original, compared on
    the top `field_bits` bits of each sample."""
    open(path(fixture), "wb").write(data)
    im = Image.open(path(original))
    rgba = im.convert("RGBA").tobytes()
    shift = 8 - field_bits
    assert [v >> shift for v in rgba] == [v >> shift for v in magick_rgba(original)], original
    write_expected(name, im.size[0], im.size[1], rgba)
    lines.append("%s %s rgb" % (name, fixture))


w, h = 37, 21
rgb = Image.open(SRC).convert("RGB").tobytes()
words = bytearray()
for y in range(h - 1, -1, -1):
    row = b"".join(struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
                   for r, g, b in zip(*(rgb[3 * w * y + k:3 * w * (y + 1):3] for k in range(3))))
    words += row + bytes((-len(row)) % 4)
write_bmp("words555.bmp", w, h, 16, 0, b"", bytes(words))
expect_as_depth("bmp_15bit", "bmp_15bit.bmp", 15, "words555.bmp", 5)
magick(SRC, "bmp:" + path("masks555.bmp"), "-define", "bmp:subtype=RGB555")
expect_as_depth("bmp_15bit_masks", "bmp_15bit_masks.bmp", 15, "masks555.bmp", 5)
w, h, rows, pal = palette_picture(32)
stride = (w + 3) // 4 * 4
write_bmp("bytes32.bmp", w, h, 8, 0, pal, b"".join(bytes(r).ljust(stride, b"\0") for r in rows))
expect_as_depth("bmp_5bit_bytes", "bmp_5bit_bytes.bmp", 5, "bytes32.bmp")

# Several planes: the pixels are the planes' bits together (planes x bits
# per pixel), stored as usual. No tool reads such files (ImageMagick refuses
# them), so each is a file the tools read with its planes and bit count
# changed, and must show what Pillow and ImageMagick both read from the
# original.
def expect_with_planes(name, fixture, planes, bits, original, field_bits=8):
    data = bytearray(open(path(original), "rb").read())
    info_size, = struct.unpack_from("<I", data, 14)
    struct.pack_into("<HH", data, 22 if info_size == 12 else 26, planes, bits)
    expect_patched(name, fixture, data, original, field_bits)


for original, planes, bits, field_bits in (("bmp_4bit", 2, 2, 8), ("bmp_8bit", 4, 2, 8), ("bmp_rle8", 2, 4, 8),
                                           ("bmp_os2_8bit", 8, 1, 8), ("bmp_24bit", 3, 8, 8),
                                           ("bmp_32bit", 4, 8, 8), ("bmp_rgb565", 2, 8, 5)):
    expect_with_planes("%s_%d_planes" % (original, planes), "%s_%dplanes.bmp" % (original, planes), planes, bits,
                       original + ".bmp", field_bits)

# --- PNM: netpbm and ImageMagick write --------------------------------------
pbm = run("convert", SRC, "-monochrome", "pbm:-")
open(path("pbm_raw.pbm"), "wb").write(pbm)
expect_pillow("pbm_raw", "pbm_raw.pbm")
open(path("pbm_plain.pbm"), "wb").write(run("pnmtoplainpnm", stdin=pbm))
expect_pillow("pbm_plain", "pbm_plain.pbm")

for kind, src in (("pgm", GREY), ("ppm", SRC)):
    for maxval in (15, 255, 1023, 65535):
        raw = run("pamdepth", str(maxval), src)
        raw = run("pamtopnm", stdin=raw)
        plain = run("pnmtoplainpnm", stdin=raw)
        for form, data in (("raw", raw), ("plain", plain)):
            name = "%s_%s_%d" % (kind, form, maxval)
            open(path(name + "." + kind), "wb").write(data)
            if maxval <= 255:
                expect_pillow(name, name + "." + kind)
            else:
                expect_netpbm(name, name + "." + kind, data)

# XV thumbnail: 3-3-2 bytes made from ImageMagick's picture; netpbm decodes.
w, h = 37, 21
rgb = Image.open(SRC).convert("RGB").tobytes()
pix = bytes((r >> 5) << 5 | (g >> 5) << 2 | (b >> 6) for r, g, b in zip(rgb[0::3], rgb[1::3], rgb[2::3]))
xv = (b"P7 332\n#XVVERSION:Version 2.28  Rev: 9/26/92\n#IMGINFO:37x21 RGB\n#END_OF_COMMENTS\n"
      b"%d %d 255\n" % (w, h)) + pix
open(path("xv_thumb.p7"), "wb").write(xv)
expect_netpbm("xv_thumb", "xv_thumb.p7", run("xvminitoppm", path("xv_thumb.p7")))

# A PAM file is another "P7": not an XV thumbnail, so it is refused.
open(path("pam.pam"), "wb").write(run("pamtopam", stdin=open(SRC, "rb").read()))
lines.append("pam pam.pam refuse")

# --- Deep samples: 16-bit PNG, TIFF and PNM --------------------------------
# ImageMagick writes each file from the same 16-bit samples (their low bytes
# all differ from their high bytes); ImageMagick reads the samples back, and
# netpbm (and Pillow, for grey) must read the same, or the fixtures are not
# made. deep.txt lists "NAME FILE"; NAME.deep holds width, height and
# samples per pixel as little-endian 32-bit words, then the samples as
# little-endian 16-bit words, top row first.
require("pngtopam", "tifftopnm")
DW, DH = 13, 9
deep_lines = []


def deep_samples(spp):
    return [(x * 4099 + y * 7919 + k * 20011 + 257) % 65536 for y in range(DH) for x in range(DW) for k in range(spp)]


def magick_samples(fixture, spp, depth_check=True):
    kind = {1: "gray", 3: "rgb", 4: "rgba"}[spp]
    data = run("convert", path(fixture), "-depth", "16", "-endian", "MSB", kind + ":-")
    return list(struct.unpack(">%dH" % (len(data) // 2), data))


def netpbm_samples(decoded):
    w, h, maxval, spp, samples = parse_plain(run("pnmtoplainpnm", stdin=decoded))
    assert (w, h, maxval) == (DW, DH, 65535), decoded[:20]
    return samples


def plain_pam_samples(pam):
    """Samples of a PAM file of 16-bit samples (the header, then big-endian words)."""
    end = pam.index(b"ENDHDR\n") + len(b"ENDHDR\n")
    body = pam[end:]
    return list(struct.unpack(">%dH" % (len(body) // 2), body))


def expect_deep(name, fixture, spp, second):
    want = magick_samples(fixture, spp)
    assert len(want) == DW * DH * spp, name
    assert want == second, "%s: the decoders differ" % name
    with open(path(name + ".deep"), "wb") as f:
        f.write(struct.pack("<III", DW, DH, spp) + struct.pack("<%dH" % len(want), *want))
    deep_lines.append("%s %s" % (name, fixture))


for spp, kind in ((1, "gray"), (3, "rgb"), (4, "rgba")):
    samples = deep_samples(spp)
    raw = path("deep_%d.raw" % spp)
    open(raw, "wb").write(struct.pack(">%dH" % len(samples), *samples))
    source = ["-size", "%dx%d" % (DW, DH), "-depth", "16", "-endian", "MSB", kind + ":" + raw]
    png = "deep_%s.png" % kind
    run("convert", *source, "png48:" + path(png) if spp == 3 else ("png64:" + path(png) if spp == 4 else path(png)))
    if spp == 4:
        second = plain_pam_samples(run("pngtopam", "-alphapam", path(png)))
    else:
        second = netpbm_samples(run("pngtopam", path(png)))
    if spp == 1:
        im = Image.open(path(png))
        assert list(im.getdata()) == samples, "Pillow reads the grey PNG otherwise"
    assert second == samples, png
    expect_deep("png16_" + kind, png, spp, second)
    if spp == 4:
        continue
    for compression in ("none", "lzw"):
        tif = "deep_%s_%s.tif" % (kind, compression)
        run("convert", *source, "-compress", compression, path(tif))
        second = netpbm_samples(run("tifftopnm", "-byrow", path(tif)))
        expect_deep("tiff16_%s_%s" % (kind, compression), tif, spp, second)
    ext = "ppm" if spp == 3 else "pgm"
    pnm = "deep_%s.%s" % (kind, ext)
    run("convert", *source, path(pnm))
    expect_deep("pnm16_" + kind, pnm, spp, netpbm_samples(open(path(pnm), "rb").read()))
    plain = "deep_%s_plain.%s" % (kind, ext)
    open(path(plain), "wb").write(run("pnmtoplainpnm", path(pnm)))
    expect_deep("pnm16_plain_" + kind, plain, spp, netpbm_samples(open(path(plain), "rb").read()))

with open(path("deep.txt"), "w") as f:
    f.write("\n".join(deep_lines) + "\n")

with open(MANIFEST, "w") as f:
    f.write("\n".join(lines) + "\n")
