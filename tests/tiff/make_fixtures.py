#!/usr/bin/python3
"""Makes the TIFF reader fixtures with tools no one here wrote, at build time,
so the native and the Win64 tests compare against the same files.

    make_fixtures.py OUTDIR

Base pictures are drawn with Pillow and ImageMagick, then rewritten by
libtiff's tiffcp in every codec and layout (none, LZW, LZW with predictor,
Deflate, PackBits, JPEG, CCITT G3 1D and 2D, G4; strips of several sizes,
tiles, separate planes, fill order 2) and joined into multipage files. Raw
YCbCr files (which no tool here writes) are packed by this script from
Pillow's own YCbCr conversion.

The expected pixels come from libtiff's tiff2rgba (read back by Pillow), or
from Pillow directly for alpha and CMYK: OUTDIR/NAME.rgba holds width and
height as little-endian 32-bit words, then R, G, B, A rows from the top.

OUTDIR/manifest.txt has one line per fixture, "NAME FILE CHECK INDEX TOL":
CHECK is "rgb", "rgba" or "cmyk" (loaded with CMYK kept), INDEX the page to
load and TOL the largest difference allowed per sample (0 for every lossless
codec). When a tool is missing the manifest holds one line "skip REASON".
"""
import os
import shutil
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fixturekit import MANIFEST, path, require, run, skip, write_expected  # noqa: E402

try:
    from PIL import Image, ImageDraw
except ImportError:
    skip("Pillow is not installed for /usr/bin/python3")
require("tiffcp", "tiff2rgba", "tiffset", "raw2tiff", "/usr/bin/convert", "/usr/bin/identify")

lines = []


def add(name, fixture, check="rgb", index=0, tol=0):
    lines.append("%s %s %s %d %d" % (name, fixture, check, index, tol))


def expect_tiff2rgba(name, fixture, index=0, tol=0, same_as=None):
    """The pixels libtiff's RGBA interface reads from page INDEX (of SAME_AS
    when given: a file Pillow reads to the same samples)."""
    src = path(same_as or fixture)
    if index:
        src = path(name + ".page.tif")
        run("tiffcp", path(fixture) + ",%d" % index, src)
    out = path(name + ".oracle.tif")
    run("tiff2rgba", "-n", "-c", "none", src, out)
    im = Image.open(out).convert("RGBA")
    write_expected(name, im.size[0], im.size[1], im.tobytes())
    add(name, fixture, "rgb", index, tol)
    os.remove(out)


def expect_pillow(name, fixture, check):
    im = Image.open(path(fixture))
    data = im.tobytes() if check == "cmyk" else im.convert("RGBA").tobytes()
    write_expected(name, im.size[0], im.size[1], data)
    add(name, fixture, check)


def tiffcp(src, dst, *options):
    run("tiffcp", *options, path(src), path(dst))
    return dst


def picture(w, h, seed):
    """A colour picture with gradients, hard edges and a few single pixels."""
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = ((x * 255 // max(1, w - 1) + seed) % 256, (y * 255 // max(1, h - 1)) % 256,
                        ((x * y * 7 + seed * 31) ^ (x << 2)) % 256)
    d = ImageDraw.Draw(im)
    d.rectangle([w // 4, h // 4, w // 2, h // 2], fill=(255, 255, 255))
    d.line([0, h - 1, w - 1, 0], fill=(0, 0, 0))
    return im


def bilevel(w, h):
    im = Image.new("1", (w, h), 1)
    d = ImageDraw.Draw(im)
    for i in range(0, w, 7):
        d.line([i, 0, w - 1 - i // 2, h - 1], fill=0)
    d.rectangle([3, 3, w // 3, h // 3], fill=0)
    d.ellipse([w // 2, h // 3, w - 2, h - 2], outline=0)
    for x in range(0, w, 3):
        im.putpixel((x, h // 2), x % 2)
    return im


# Base pictures, uncompressed, written by Pillow (through libtiff).
W, H = 61, 43
rgb = picture(W, H, 0)
rgb.save(path("rgb.base.tif"))
rgb.convert("L").save(path("grey.base.tif"))
rgb.convert("P", palette=Image.ADAPTIVE, colors=200).save(path("palette.base.tif"))
rgba = rgb.copy()
rgba.putalpha(255)
rgba.save(path("rgba.base.tif"))
picture(W, H, 99).save(path("second.base.tif"))
bilevel(203, 77).save(path("bilevel.base.tif"))
run("/usr/bin/convert", path("rgb.base.tif"), "-depth", "16", "-compress", "none", path("rgb16.base.tif"))
run("/usr/bin/convert", path("grey.base.tif"), "-depth", "4", "-compress", "none", path("grey4.base.tif"))
run("/usr/bin/convert", path("grey.base.tif"), "-depth", "16", "-compress", "none", "-endian", "MSB",
    path("grey16mm.base.tif"))
run("/usr/bin/convert", path("rgb.base.tif"), "-colorspace", "CMYK", "-compress", "none", path("cmyk.base.tif"))
run("/usr/bin/convert", path("bilevel.base.tif"), "-compress", "none", "-define",
    "quantum:polarity=min-is-white", path("bilevel_white.base.tif"))

# Codec x layout table, each decoded by libtiff.
codecs = {
    "none": ["-c", "none"], "lzw": ["-c", "lzw"], "lzwpred": ["-c", "lzw:2"], "zip": ["-c", "zip"],
    "zippred": ["-c", "zip:2"], "packbits": ["-c", "packbits"],
}
layouts = {
    "strip1": ["-r", "1"], "strip7": ["-r", "7"], "onestrip": ["-s", "-r", "100000"],
    "tile16": ["-t", "-w", "16", "-l", "16"], "tile64": ["-t", "-w", "64", "-l", "64"],
    "separate": ["-p", "separate", "-r", "5"], "septile": ["-p", "separate", "-t", "-w", "32", "-l", "16"],
}
for base in ("rgb", "grey", "palette", "rgb16", "grey4", "grey16mm", "rgba"):
    for cname, copt in codecs.items():
        for lname, lopt in layouts.items():
            if lname.startswith("sep") and base in ("grey", "palette", "grey4", "grey16mm", "rgb16"):
                continue
            if cname.endswith("pred") and base in ("palette", "grey4"):
                continue
            name = "%s_%s_%s" % (base, cname, lname)
            tiffcp(base + ".base.tif", name + ".tif", *(copt + lopt))
            if base == "rgba":
                expect_pillow(name, name + ".tif", "rgba")
            elif base == "grey16mm" and lname.startswith("tile"):
                # tiff2rgba misplaces the samples of 16-bit grey tiles; the
                # stripped file holds the same samples (Pillow reads both).
                assert Image.open(path(name + ".tif")).tobytes() == Image.open(path("grey16mm.base.tif")).tobytes()
                expect_tiff2rgba(name, name + ".tif", same_as="grey16mm.base.tif")
            else:
                expect_tiff2rgba(name, name + ".tif")

# CMYK, compared as the inks Pillow reads.
for cname in ("none", "lzw", "packbits"):
    for lname in ("strip7", "tile16", "separate"):
        name = "cmyk_%s_%s" % (cname, lname)
        tiffcp("cmyk.base.tif", name + ".tif", *(codecs[cname] + layouts[lname]))
        expect_pillow(name, name + ".tif", "cmyk")

# Bilevel pictures through every fax coding, both photometric values, both
# fill orders, strips and tiles.
for base in ("bilevel", "bilevel_white"):
    for cname, copt in {"none": ["-c", "none"], "packbits": ["-c", "packbits"], "g3": ["-c", "g3"],
                        "g3fill": ["-c", "g3:1d:fill"], "g32d": ["-c", "g3:2d"], "g4": ["-c", "g4"],
                        "lzw": ["-c", "lzw"]}.items():
        for lname, lopt in {"strip9": ["-r", "9"], "onestrip": ["-s", "-r", "100000"],
                            "tile32": ["-t", "-w", "32", "-l", "32"], "msb2lsb": ["-f", "lsb2msb", "-r", "20"]}.items():
            name = "%s_%s_%s" % (base, cname, lname)
            tiffcp(base + ".base.tif", name + ".tif", *(copt + lopt))
            expect_tiff2rgba(name, name + ".tif")

# JPEG strips and tiles: YCbCr (converted by libjpeg), and grey.
for base in ("rgb", "grey"):
    for lname, lopt in {"strip16": ["-r", "16"], "tile16": ["-t", "-w", "16", "-l", "16"],
                        "onestrip": ["-s", "-r", "48"]}.items():
        name = "%s_jpeg_%s" % (base, lname)
        tiffcp(base + ".base.tif", name + ".tif", "-c", "jpeg:90", *lopt)
        expect_tiff2rgba(name, name + ".tif", tol=1)
name = "rgb_jpegraw_strip16"
tiffcp("rgb.base.tif", name + ".tif", "-c", "jpeg:r", "-r", "16")
expect_tiff2rgba(name, name + ".tif", tol=1)


LIMITED = (16, 235, 128, 240, 128, 240)


def limited_range(im):
    """Pillow's YCbCr of `im` with luma on 16..235 and chroma on 128 +- 112,
    the codes ReferenceBlackWhite LIMITED describes."""
    y, cb, cr = im.convert("YCbCr").split()
    return Image.merge("YCbCr", (y.point(lambda c: round(16 + c * 219 / 255)),
                                 cb.point(lambda c: round(128 + (c - 128) * 112 / 127)),
                                 cr.point(lambda c: round(128 + (c - 128) * 112 / 127))))


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def ycc_to_rgba(ycc, ref):
    """TIFF 6.0's YCbCr to RGB (default luma coefficients) of a YCbCr picture
    whose codes span ReferenceBlackWhite `ref`, truncated into 0..255."""
    lr, lg, lb = f32(0.299), f32(0.587), f32(0.114)
    clamp = lambda c: 0 if c <= 0 else 255 if c >= 255 else int(c)
    out = bytearray()
    for y, cb, cr in ycc.getdata():
        luma = (y - ref[0]) * (255 / (ref[1] - ref[0]))
        cb = (cb - ref[2]) * (127 / (ref[3] - ref[2]))
        cr = (cr - ref[4]) * (127 / (ref[5] - ref[4]))
        out += bytes([clamp(luma + (2 - 2 * lr) * cr), clamp(luma - lb * (2 - 2 * lb) / lg * cb - lr * (2 - 2 * lr) / lg * cr),
                      clamp(luma + (2 - 2 * lb) * cb), 255])
    return out


def ycbcr_tiff(name, im, h, v, big=False, reference=None):
    """Raw YCbCr blocks of h x v luma samples, Cb and Cr (TIFF 6.0,
    section 21), uncompressed, one strip; partial blocks padded. With a
    reference (ReferenceBlackWhite), `im` is a YCbCr picture of those codes."""
    w, ht = im.size
    ycc = im if reference else im.convert("YCbCr")
    px = ycc.load()
    data = bytearray()
    for by in range(0, ht, v):
        for bx in range(0, w, h):
            cb = cr = n = 0
            lum = []
            for j in range(v):
                for i in range(h):
                    x, y = min(bx + i, w - 1), min(by + j, ht - 1)
                    lum.append(px[x, y][0])
                    cb += px[x, y][1]
                    cr += px[x, y][2]
                    n += 1
            data += bytes(lum) + bytes([cb // n, cr // n])
    e = ">" if big else "<"
    entries = [(256, 3, 1, w), (257, 3, 1, ht), (258, 3, 3, 0), (259, 3, 1, 1), (262, 3, 1, 6),
               (273, 4, 1, 0), (277, 3, 1, 3), (278, 3, 1, ht), (279, 4, 1, len(data)),
               (284, 3, 1, 1), (530, 3, 2, h | (v << 16)), (531, 3, 1, 1)]
    if reference:
        entries.append((532, 5, 6, 0))
    ifd = 8
    bps_at = ifd + 2 + 12 * len(entries) + 4
    ref_at = bps_at + 6
    data_at = ref_at + 48
    out = bytearray((b"MM" if big else b"II") + struct.pack(e + "HI", 42, ifd))
    out += struct.pack(e + "H", len(entries))
    for tag, typ, count, value in entries:
        if tag == 258:
            value = bps_at
        if tag == 273:
            value = data_at
        if tag == 532:
            value = ref_at
        if typ == 3 and count <= 2 and tag != 258:
            field = struct.pack(e + "HH", value & 0xFFFF, value >> 16)
        else:
            field = struct.pack(e + "I", value)
        out += struct.pack(e + "HHI", tag, typ, count) + field
    out += struct.pack(e + "I", 0)
    out += struct.pack(e + "HHH", 8, 8, 8)
    out += struct.pack(e + "12I", *[x for c in reference for x in (c, 1)]) if reference else b"\0" * 48
    out += data
    with open(path(name), "wb") as f:
        f.write(out)


for h, v in ((1, 1), (2, 1), (2, 2), (4, 1), (4, 2), (1, 2), (4, 4)):
    for big in (False, True):
        name = "ycbcr%d%d%s" % (h, v, "_mm" if big else "")
        ycbcr_tiff(name + ".tif", rgb, h, v, big)
        # libtiff converts with its own rounding: a step of 2 is allowed.
        expect_tiff2rgba(name, name + ".tif", tol=2)

# YCbCr codes of a limited range (ReferenceBlackWhite 16-235, 128 +- 112),
# read by TIFF 6.0's formula worked here and, to within its fixed-point
# rounding (3 steps), by libtiff's tiff2rgba.
def expect_limited(name, ycc):
    want = ycc_to_rgba(ycc, LIMITED)
    write_expected(name, ycc.size[0], ycc.size[1], want)
    add(name, name + ".tif", "rgb", 0, 1)
    out = path(name + ".check.tif")
    run("tiff2rgba", "-c", "none", path(name + ".tif"), out)
    got = Image.open(out).convert("RGBA").tobytes()
    assert max(abs(a - b) for a, b in zip(got, want)) <= 3, name
    os.remove(out)


ycbcr_tiff("ycbcr11_limited.tif", limited_range(rgb), 1, 1, reference=LIMITED)
expect_limited("ycbcr11_limited", limited_range(rgb))

# Orientation: the same picture tagged with each of the eight values, to be
# delivered turned as TIFF 6.0 describes (Pillow turns the base picture).
turns = {2: Image.FLIP_LEFT_RIGHT, 3: Image.ROTATE_180, 4: Image.FLIP_TOP_BOTTOM, 5: Image.TRANSPOSE,
         6: Image.ROTATE_270, 7: Image.TRANSVERSE, 8: Image.ROTATE_90}
for orientation, turn in turns.items():
    name = "orient%d" % orientation
    tiffcp("rgb_lzw_strip7.tif", name + ".tif")
    run("tiffset", "-s", "274", str(orientation), path(name + ".tif"))
    turned = Image.open(path("rgb.base.tif")).convert("RGBA").transpose(turn)
    write_expected(name, turned.size[0], turned.size[1], turned.tobytes())
    add(name, name + ".tif")

# Multipage: page 1 of three, and the pages of a mixed file.
run("tiffcp", path("rgb_lzw_strip7.tif"), path("second.base.tif"), path("grey_zip_tile16.tif"),
    path("multi.tif"))
for page in range(3):
    expect_tiff2rgba("multi_page%d" % page, "multi.tif", page)

def imagemagick_rgba(fixture):
    """ImageMagick's reading of a fixture as 8-bit R, G, B, A, and its size."""
    w, h = run("/usr/bin/identify", "-format", "%w %h", path(fixture) + "[0]").split()
    return (int(w), int(h)), run("/usr/bin/convert", path(fixture) + "[0]", "-depth", "8", "rgba:-")


def expect_agreed(name, fixture, tol=0):
    """As expect_tiff2rgba, after checking that ImageMagick reads the same
    pixels (within TOL), so two decoders vouch for the expected picture."""
    expect_tiff2rgba(name, fixture, tol=tol)
    with open(path(name + ".rgba"), "rb") as f:
        w, h = struct.unpack("<II", f.read(8))
        want = f.read()
    size, got = imagemagick_rgba(fixture)
    assert size == (w, h) and len(got) == len(want), name
    worst = max(abs(a - b) for a, b in zip(got, want))
    assert worst <= tol, "%s: ImageMagick and tiff2rgba differ by %d" % (name, worst)


# Two strips or two tiles: libtiff stores two SHORT byte counts inside the
# directory entry itself (TIFF 6.0: a value that fits the 4-byte field is
# kept there), in either byte order.
rgb.crop((0, 0, W, 32)).save(path("rgb32.base.tif"))
for order, flag in (("ii", "-L"), ("mm", "-B")):
    for cname in ("lzw", "zip", "none"):
        name = "twostrips_%s_%s" % (cname, order)
        tiffcp("rgb.base.tif", name + ".tif", "-c", cname, "-r", "32", flag)
        expect_agreed(name, name + ".tif")
    name = "twotiles_zip_%s" % order
    tiffcp("rgb32.base.tif", name + ".tif", "-c", "zip", "-t", "-w", "32", "-l", "32", flag)
    expect_agreed(name, name + ".tif")

def logluv_tiff(name, w, h, compression, data, big=False):
    """A LogLuv picture (photometric 32845) of one strip, tagged as libtiff
    tags its own: three 16-bit signed samples."""
    e = ">" if big else "<"
    entries = [(256, 3, 1, w), (257, 3, 1, h), (258, 3, 3, "bps"), (259, 3, 1, compression), (262, 3, 1, 32845),
               (273, 4, 1, "data"), (277, 3, 1, 3), (278, 3, 1, h), (279, 4, 1, len(data)), (284, 3, 1, 1),
               (339, 3, 3, "format")]
    after = 8 + 2 + 12 * len(entries) + 4
    where = {"bps": after, "format": after + 6, "data": after + 12}
    out = bytearray((b"MM" if big else b"II") + struct.pack(e + "HI", 42, 8) + struct.pack(e + "H", len(entries)))
    for tag, typ, count, value in entries:
        value = where.get(value, value)
        field = struct.pack(e + "HH", value, 0) if typ == 3 and count == 1 else struct.pack(e + "I", value)
        out += struct.pack(e + "HHI", tag, typ, count) + field
    out += struct.pack(e + "I", 0) + struct.pack(e + "HHH", 16, 16, 16) + struct.pack(e + "HHH", 2, 2, 2) + data
    with open(path(name), "wb") as f:
        f.write(out)


# LogLuv pictures, every code decoded by libtiff's tiff2rgba: 24-bit pixels
# (10 bits of log luminance and a 14-bit u'v' cell, the codes past the last
# cell and a luminance of 0 among them), and 32-bit pixels (16 bits of log
# luminance, 8-bit u and v) run-length coded by byte planes, hand-packed with
# runs and literals and, from floating-point XYZ, by tiffcp.
LW, LH = 64, 16
luv24 = bytearray()
for y in range(LH):
    for x in range(LW):
        p = ((y * 67 + x * 3) % 1024 if (x + y) % 17 else 0) << 14 | (x * 263 + y * 1009) % 16384
        luv24 += bytes([p >> 16, (p >> 8) & 255, p & 255])
luv32 = bytearray()
for y in range(LH):
    pixels = [((16000 + y * 97 + x * 5) if x % 9 else 0x8000 | x) << 16 | (x * 7 % 256) << 8 | (y * 13 + x) % 256
              for x in range(LW)]
    for shift in (24, 16, 8, 0):
        plane = [(p >> shift) & 255 for p in pixels]
        # A run of the plane's first byte over its first 20 pixels, then
        # literals of at most 30 bytes.
        plane[:20] = [plane[0]] * 20
        luv32 += bytes([20 + 126, plane[0]])
        for at in range(20, LW, 30):
            chunk = plane[at:at + 30]
            luv32 += bytes([len(chunk)]) + bytes(chunk)
for big in (False, True):
    suffix = "_mm" if big else ""
    logluv_tiff("logluv24%s.tif" % suffix, LW, LH, 34677, bytes(luv24), big)
    expect_tiff2rgba("logluv24" + suffix, "logluv24%s.tif" % suffix)
    logluv_tiff("logluv32%s.tif" % suffix, LW, LH, 34676, bytes(luv32), big)
    expect_tiff2rgba("logluv32" + suffix, "logluv32%s.tif" % suffix)
with open(path("xyz.raw"), "wb") as f:
    for y in range(LH):
        for x in range(LW):
            f.write(struct.pack("<fff", 0.05 + 0.012 * x, 0.04 + 0.05 * y, 0.3 - 0.004 * x))
run("raw2tiff", "-w", str(LW), "-l", str(LH), "-d", "float", "-b", "3", "-p", "rgb", "-c", "none", path("xyz.raw"),
    path("xyz.base.tif"))
run("tiffset", "-s", "262", "32845", path("xyz.base.tif"))
tiffcp("xyz.base.tif", "logluv32_tiffcp.tif", "-c", "sgilog")
expect_tiff2rgba("logluv32_tiffcp", "logluv32_tiffcp.tif")
os.remove(path("xyz.raw"))

# Old-style JPEG (compression 6), which no tool here writes: each strip is
# coded by Pillow (libjpeg) as a JPEG of its own with the same tables, and
# the file keeps the tables in their tags (TIFF 6.0, section 22) and each
# strip's scan at its strip offset. Variants: no interchange stream (tag
# 513), one that holds only the first strip, one that is the only holder of
# the tables, strips that are whole JPEG streams, and one stream for the
# whole picture. Each strip's JPEG decoded by Pillow and by djpeg is the
# expected picture; tiff2rgba agrees where it reads the file and no chroma
# is subsampled (it upsamples chroma differently).
require("djpeg")
import io  # noqa: E402


def jpeg_segments(jpg):
    """The marker segments before the scan, as (marker, payload), and the
    scan's coded data."""
    i, out = 2, []
    while True:
        m, n = jpg[i + 1], struct.unpack(">H", jpg[i + 2:i + 4])[0]
        out.append((m, jpg[i + 4:i + 2 + n]))
        i += 2 + n
        if m == 0xDA:
            return out, jpg[i:jpg.rindex(b"\xff\xd9")]


def split_tables(segments):
    """Quantisation tables and DC and AC Huffman tables (their bytes after
    the class and id byte), in id order."""
    q, dc, ac = {}, {}, {}
    for m, p in segments:
        j = 0
        while m in (0xDB, 0xC4) and j < len(p):
            if m == 0xDB:
                q[p[j] & 15] = p[j + 1:j + 65]
                j += 65
            else:
                n = 17 + sum(p[j + 1:j + 17])
                (ac if p[j] >> 4 else dc)[p[j] & 15] = p[j + 1:j + n]
                j += n
    return [q[k] for k in sorted(q)], [dc[k] for k in sorted(dc)], [ac[k] for k in sorted(ac)]


def tiff_file(name, entries, blobs):
    """A little-endian TIFF of one directory. entries: (tag, type, values)
    where values are numbers or ("blob", index[, delta]) naming a place in
    a blob; blobs are placed after the directory, each at an even offset."""
    count = len(entries)
    at = 8 + 2 + 12 * count + 4
    data, where = bytearray(), []
    for b in blobs:
        if len(data) % 2:
            data.append(0)
        where.append(at + len(data))
        data += b
    resolve = lambda v: where[v[1]] + (v[2] if len(v) > 2 else 0) if isinstance(v, tuple) else v
    out = bytearray(b"II*\0" + struct.pack("<IH", 8, count))
    extra = bytearray()
    for tag, typ, values in sorted(entries, key=lambda e: e[0]):
        values = [resolve(v) for v in values]
        raw = b"".join(struct.pack("<H" if typ == 3 else "<I", v) for v in values)
        if len(raw) > 4:
            if (at + len(data) + len(extra)) % 2:
                extra.append(0)
            field = struct.pack("<I", at + len(data) + len(extra))
            extra += raw
        else:
            field = raw.ljust(4, b"\0")
        out += struct.pack("<HHI", tag, typ, len(values) // 2 if typ == 5 else len(values)) + field
    with open(path(name), "wb") as f:
        f.write(out + struct.pack("<I", 0) + data + extra)


def old_jpeg(name, im, rows, subsampling, variant="tags", reference=None):
    """An old-style JPEG TIFF of `im` in strips of `rows`; writes the expected
    pixels (each strip's JPEG as Pillow decodes it, checked against djpeg).
    With a reference (ReferenceBlackWhite), `im` is a YCbCr picture of those
    codes, stored as they are; Pillow's YCbCr decode of each strip turned by
    TIFF 6.0's formula is the expected picture, checked against tiff2rgba."""
    w, h = im.size
    grey = im.mode == "L"
    strips = []
    expected = Image.new("RGBA", (w, h))
    for y0 in range(0, h, rows):
        b = io.BytesIO()
        im.crop((0, y0, w, min(h, y0 + rows))).save(b, "JPEG", quality=90, subsampling=subsampling)
        jpg = b.getvalue()
        if reference:
            decoded = Image.open(io.BytesIO(jpg))
            decoded.draft("YCbCr", decoded.size)
            assert decoded.mode == "YCbCr", name
            decoded = Image.frombytes("RGBA", decoded.size, bytes(ycc_to_rgba(decoded, reference)))
        else:
            decoded = Image.open(io.BytesIO(jpg)).convert("RGBA")
            by_djpeg = Image.open(io.BytesIO(run("djpeg", stdin=jpg))).convert("RGBA")
            assert decoded.tobytes() == by_djpeg.tobytes(), name
        expected.paste(decoded, (0, y0))
        strips.append(jpg)
    segments, _ = jpeg_segments(strips[0])
    q, dc, ac = split_tables(segments)
    components = 1 if grey else 3
    # One table of each kind per component (TIFF 6.0): the chroma tables
    # serve the second and third.
    q, dc, ac = [(t + [t[-1]] * 3)[:components] for t in (q, dc, ac)]
    blobs = list(q) + list(dc) + list(ac)
    tables = {519: range(0, components), 520: range(components, 2 * components),
              521: range(2 * components, 3 * components)}
    entries = [(256, 3, [w]), (257, 3, [h]), (258, 3, [8] * components), (259, 3, [6]),
               (262, 3, [1 if grey else 6]), (277, 3, [components]), (278, 3, [rows]), (512, 3, [1])]
    if not grey:
        entries.append((530, 3, {0: [1, 1], 1: [2, 1], 2: [2, 2]}[subsampling]))
    if reference:
        entries.append((532, 5, [x for c in reference for x in (c, 1)]))
    if variant not in ("stream-tables", "whole-frame"):
        entries += [(tag, 4, [("blob", k) for k in ks]) for tag, ks in tables.items()]
    offsets = []
    for k, jpg in enumerate(strips):
        if variant == "whole-streams":
            blobs.append(jpg)
            offsets.append(("blob", len(blobs) - 1))
            continue
        blobs.append(jpeg_segments(jpg)[1])
        offsets.append(("blob", len(blobs) - 1))
    counts = [len(blobs[o[1]]) for o in offsets]
    if variant == "whole-frame":
        # One interchange stream whose frame covers the whole picture, its
        # scan the strips one after the other, each coded on its own
        # (byte-aligned, predictions restarted, no restart markers).
        head = b"\xff\xd8"
        for m, payload in segments:
            if m == 0xC0:
                payload = payload[:1] + struct.pack(">H", h) + payload[3:]
            head += bytes([0xFF, m]) + struct.pack(">H", len(payload) + 2) + payload
        scans = [blobs[o[1]] for o in offsets]
        del blobs[len(blobs) - len(scans):]
        stream = head + b"".join(scans) + b"\xff\xd9"
        blobs.append(stream)
        k = len(blobs) - 1
        at = len(head)
        offsets = []
        for scan in scans:
            offsets.append(("blob", k, at))
            at += len(scan)
        entries += [(513, 4, [("blob", k)]), (514, 4, [len(stream)])]
    if variant in ("first-strip", "stream-tables"):
        # The interchange stream is the first strip's whole JPEG; its scan
        # is the first strip.
        k = offsets[0][1]
        blobs[k] = strips[0]
        entries += [(513, 4, [("blob", k)]), (514, 4, [len(strips[0])])]
        offsets[0] = ("blob", k, strips[0].index(jpeg_segments(strips[0])[1]))
    entries += [(273, 4, offsets), (279, 4, counts)]
    tiff_file(name + ".tif", entries, blobs)
    write_expected(name, w, h, expected.tobytes())
    add(name, name + ".tif", "rgb", 0, 1 if reference else 0)
    if reference:
        out = path(name + ".check.tif")
        run("tiff2rgba", "-c", "none", path(name + ".tif"), out)
        got = Image.open(out).convert("RGBA").tobytes()
        assert max(abs(a - b) for a, b in zip(got, expected.tobytes())) <= 3, name
        os.remove(out)


old_jpeg("ojpeg_grey", rgb.convert("L"), 16, 0)
old_jpeg("ojpeg_rgb444", rgb, 8, 0)
old_jpeg("ojpeg_rgb420", rgb, 16, 2)
old_jpeg("ojpeg_first_strip", rgb, 16, 2, "first-strip")
old_jpeg("ojpeg_stream_tables", rgb, 16, 2, "stream-tables")
old_jpeg("ojpeg_whole_streams", rgb, 16, 2, "whole-streams")
old_jpeg("ojpeg_whole_frame", rgb, 8, 1, "whole-frame")
old_jpeg("ojpeg_whole_frame444", rgb, 8, 0, "whole-frame")
old_jpeg("ojpeg_limited", limited_range(rgb), 8, 0, reference=LIMITED)
for name, tol in (("ojpeg_grey", 0), ("ojpeg_rgb444", 2)):
    # tiff2rgba reads these (chroma is not subsampled) to within tol.
    out = path(name + ".check.tif")
    run("tiff2rgba", "-c", "none", path(name + ".tif"), out)
    with open(path(name + ".rgba"), "rb") as f:
        want = f.read()[8:]
    got = Image.open(out).convert("RGBA").tobytes()
    assert max(abs(a - b) for a, b in zip(got, want)) <= tol, name
    os.remove(out)
# One interchange stream for the whole picture, the strips inside it.
b = io.BytesIO()
rgb.save(b, "JPEG", quality=90)
whole = b.getvalue()
scan = jpeg_segments(whole)[1]
tiff_file("ojpeg_interchange.tif", [(256, 3, [W]), (257, 3, [H]), (258, 3, [8, 8, 8]), (259, 3, [6]),
                                    (262, 3, [6]), (277, 3, [3]), (278, 3, [H]), (513, 4, [("blob", 0)]),
                                    (514, 4, [len(whole)]), (273, 4, [whole.index(scan) + 8 + 2 + 12 * 10 + 4]),
                                    (279, 4, [len(scan)])], [whole])
write_expected("ojpeg_interchange", W, H, Image.open(io.BytesIO(whole)).convert("RGBA").tobytes())
add("ojpeg_interchange", "ojpeg_interchange.tif")
# The same, of YCbCr codes of a limited range (ReferenceBlackWhite), stored
# as they are: Pillow's YCbCr decode turned by TIFF 6.0's formula, checked
# against tiff2rgba.
b = io.BytesIO()
limited_range(rgb).save(b, "JPEG", quality=90, subsampling=0)
whole = b.getvalue()
scan = jpeg_segments(whole)[1]
tiff_file("ojpeg_interchange_limited.tif",
          [(256, 3, [W]), (257, 3, [H]), (258, 3, [8, 8, 8]), (259, 3, [6]), (262, 3, [6]), (277, 3, [3]),
           (278, 3, [H]), (513, 4, [("blob", 0)]), (514, 4, [len(whole)]), (530, 3, [1, 1]),
           (532, 5, [x for c in LIMITED for x in (c, 1)]),
           (273, 4, [("blob", 0, whole.index(scan))]), (279, 4, [len(scan)])], [whole])
decoded = Image.open(io.BytesIO(whole))
decoded.draft("YCbCr", decoded.size)
assert decoded.mode == "YCbCr"
expect_limited("ojpeg_interchange_limited", decoded)

# Associated alpha (ExtraSamples 1): colour stored multiplied by alpha.
# 8-bit files are Pillow's RGBA and LA with the tag set to 1 by tiffset (the
# stored values premultiplied here); 16-bit ones are packed here. ImageMagick
# divides the alpha out again and is the expected picture (it truncates where
# the reader rounds: a step of 1); Pillow (8-bit) agrees with it, and so does
# tiff2rgba (16-bit) to within 2 where alpha is at least 64 (it divides at
# 8 bits). tiffcp makes the other codecs and layouts.
def premultiplied(im):
    out = Image.new(im.mode, im.size)
    out.putdata([tuple((c * p[-1] + 127) // 255 for c in p[:-1]) + (p[-1],) for p in im.getdata()])
    return out


def set_associated(fixture):
    run("tiffset", "-s", "338", "1", "1", path(fixture))


def expect_imagemagick(name, fixture, tol=1):
    size, got = imagemagick_rgba(fixture)
    write_expected(name, size[0], size[1], got)
    add(name, fixture, "rgba", 0, tol)
    return got


def max_difference(a, b, least_alpha=0):
    """The largest difference of two R, G, B, A pictures where b's alpha is
    at least least_alpha."""
    return max((abs(a[i + k] - b[i + k]) for i in range(0, len(b), 4) for k in range(4) if b[i + 3] >= least_alpha),
               default=0)


alpha = Image.linear_gradient("L").resize((W, H)).point(lambda v: v if v > 8 else 0)
rgba_assoc = rgb.copy()
rgba_assoc.putalpha(alpha)
premultiplied(rgba_assoc).save(path("assoc8.tif"))
set_associated("assoc8.tif")
want = expect_imagemagick("assoc8", "assoc8.tif")
assert max_difference(Image.open(path("assoc8.tif")).convert("RGBA").tobytes(), want) == 0
for lname, opt in (("lzw_strip7", ["-c", "lzw", "-r", "7"]), ("separate", ["-p", "separate", "-r", "5"]),
                   ("zip_tile16", ["-c", "zip", "-t", "-w", "16", "-l", "16"]),
                   ("lzw_septile", ["-c", "lzw", "-p", "separate", "-t", "-w", "32", "-l", "16"])):
    tiffcp("assoc8.tif", "assoc8_%s.tif" % lname, *opt)
    expect_imagemagick("assoc8_" + lname, "assoc8_%s.tif" % lname)
grey_assoc = rgb.convert("L")
grey_assoc.putalpha(alpha)
premultiplied(grey_assoc).save(path("assocgrey.tif"))
set_associated("assocgrey.tif")
# Grey comes without its alpha. ImageMagick drops the alpha plane of the
# separate-planes form; it holds the same samples as the interleaved one.
expect_imagemagick("assocgrey", "assocgrey.tif")
lines.append(lines.pop().replace(" rgba ", " rgb "))
tiffcp("assocgrey.tif", "assocgrey_separate.tif", "-p", "separate")
shutil.copyfile(path("assocgrey.rgba"), path("assocgrey_separate.rgba"))
add("assocgrey_separate", "assocgrey_separate.tif", "rgb", 0, 1)
samples16 = []
for r, g, bl, a in rgba_assoc.getdata():
    a16 = a * 257 + (a // 3)
    samples16.append(tuple(min(a16, (c * 257 + 91) * a16 // 65535) for c in (r, g, bl)) + (min(a16, 65535),))
chunky16 = b"".join(struct.pack("<HHHH", *p) for p in samples16)
planes16 = [b"".join(struct.pack("<H", p[k]) for p in samples16) for k in range(4)]
common16 = [(256, 3, [W]), (257, 3, [H]), (258, 3, [16] * 4), (259, 3, [1]), (262, 3, [2]), (277, 3, [4]),
            (278, 3, [H]), (338, 3, [1])]
tiff_file("assoc16.tif", common16 + [(273, 4, [("blob", 0)]), (279, 4, [len(chunky16)]), (284, 3, [1])], [chunky16])
tiff_file("assoc16_separate.tif", common16 + [(273, 4, [("blob", k) for k in range(4)]),
                                              (279, 4, [len(p) for p in planes16]), (284, 3, [2])], planes16)
tiffcp("assoc16.tif", "assoc16_lzwpred.tif", "-c", "lzw:2", "-r", "9")
for name in ("assoc16", "assoc16_separate", "assoc16_lzwpred"):
    want = expect_imagemagick(name, name + ".tif")
    out = path(name + ".check.tif")
    run("tiff2rgba", "-c", "none", path(name + ".tif"), out)
    assert max_difference(Image.open(out).convert("RGBA").tobytes(), want, 64) <= 2, name
    os.remove(out)

# Signed (SampleFormat 2) and floating-point (3) samples, packed here from
# known values: signed ones are shown offset by half their range (the most
# negative value black), floats as 0 to 1 (clamped) rounded to 16 bits, each
# narrowed to its high byte. tiffinfo reads back the sample format and the
# stored samples, Pillow the stored values where it reads the form, and
# ImageMagick shows the same picture to within one step for floats and
# 16-bit signed grey (other signed samples it reads as unsigned ones, and is
# not asked about them). tiffcp makes the compressed, tiled and
# big-endian forms; with the floating-point predictor (3) the file is refused.
SF_W, SF_H = 40, 12


def sample_format_tiff(name, bits, fmt, spp, values, planar=False):
    """An uncompressed TIFF of SF_W x SF_H pixels of `spp` samples, the
    samples `values` (numbers) in rows, of `bits` bits and SampleFormat fmt;
    planar: in separate planes (which tiffcp does not make of such samples)."""
    code = {(2, 8): "b", (2, 16): "h", (2, 32): "i", (3, 16): "e", (3, 32): "f"}[(fmt, bits)]
    planes = [values[k::spp] for k in range(spp)] if planar else [values]
    blobs = [struct.pack("<%d%s" % (len(p), code), *p) for p in planes]
    tiff_file(name, [(256, 3, [SF_W]), (257, 3, [SF_H]), (258, 3, [bits] * spp), (259, 3, [1]),
                     (262, 3, [2 if spp == 3 else 1]), (273, 4, [("blob", k) for k in range(len(blobs))]),
                     (277, 3, [spp]), (278, 3, [SF_H]), (279, 4, [len(b) for b in blobs]),
                     (284, 3, [2 if planar else 1]), (339, 3, [fmt] * spp)], blobs)
    info = run("tiffinfo", path(name)).decode()
    assert ("Sample Format: %s" % {2: "signed integer", 3: "IEEE floating point"}[fmt]) in info, name


def float_level(v):
    return 0 if not v > 0 else 0xFFFF if v >= 1 else int(v * 65535 + 0.5)


def sample_format_expected(name, bits, fmt, spp, values, fixtures):
    eight = [(v + 128) if bits == 8 else (v + (1 << (bits - 1))) >> (bits - 8) if fmt == 2
             else float_level(v) >> 8 for v in values]
    rgba = bytearray()
    for i in range(0, len(eight), spp):
        px = eight[i:i + spp]
        rgba += bytes((px * 3)[:3] if spp == 1 else px) + b"\xff"
    for fixture in fixtures:
        write_expected(fixture[:-4], SF_W, SF_H, rgba)
        add(fixture[:-4], fixture)
        if fmt == 3 or (bits == 16 and spp == 1):
            size, got = imagemagick_rgba(fixture)
            assert size == (SF_W, SF_H) and max(abs(a - b) for a, b in zip(got, rgba)) <= 1, fixture


for bits, fmt, spp in ((8, 2, 1), (16, 2, 1), (32, 2, 1), (16, 2, 3), (16, 3, 1), (32, 3, 1), (32, 3, 3)):
    n = SF_W * SF_H * spp
    if fmt == 2:
        lo, hi = -(1 << (bits - 1)), (1 << (bits - 1)) - 1
        values = [lo + (hi - lo) * i // (n - 1) for i in range(n)]
        values[1:4] = [-1, 0, hi]
    else:
        # Steps of 1/256 from below 0 to above 1, exact in every precision.
        values = [(i % 300 - 20) / 256 for i in range(n)]
        values[1:4] = [0.25, 0.5, float("nan")]
    base = "sf%d_%s%d" % (spp, "int" if fmt == 2 else "float", bits)
    sample_format_tiff(base + ".tif", bits, fmt, spp, values)
    if spp == 1 and (fmt, bits) in ((2, 16), (2, 32), (3, 32)):
        got = list(Image.open(path(base + ".tif")).getdata())
        assert all(a == b or (a != a and b != b) for a, b in zip(got, values)), base
    if fmt == 2:
        dump = bytes(int(x, 16) for x in run("tiffinfo", "-d", path(base + ".tif")).decode().split("Strip 0:")[1].split())
        assert list(struct.unpack("<%d%s" % (n, {8: "b", 16: "h", 32: "i"}[bits]), dump)) == values, base
    forms = [base + ".tif"]
    for suffix, options in (("_lzw_mm", ["-c", "lzw", "-r", "5", "-B"]),
                            ("_zip_tile16", ["-c", "zip", "-t", "-w", "16", "-l", "16"])):
        forms.append(tiffcp(base + ".tif", base + suffix + ".tif", *options))
    if spp == 3:
        sample_format_tiff(base + "_separate.tif", bits, fmt, spp, values, planar=True)
        forms.append(base + "_separate.tif")
    sample_format_expected(base, bits, fmt, spp, values, forms)
tiffcp("sf1_float32.tif", "refused_float_predictor3.tif", "-c", "lzw:3")

# Strips and tiles larger than the pieces the reader decodes them in: one
# strip of the whole picture in every byte codec, a large tile, YCbCr in one
# strip, and a Group 4 page in one strip.
big = picture(400, 240, 7)
big.save(path("big.base.tif"))
for cname in ("none", "lzw", "lzwpred", "zip", "packbits"):
    name = "big_%s_onestrip" % cname
    tiffcp("big.base.tif", name + ".tif", *(codecs[cname] + ["-s", "-r", "100000"]))
    expect_tiff2rgba(name, name + ".tif")
tiffcp("big.base.tif", "big_lzw_tile512.tif", "-c", "lzw", "-t", "-w", "512", "-l", "512")
expect_tiff2rgba("big_lzw_tile512", "big_lzw_tile512.tif")
ycbcr_tiff("big_ycbcr22.tif", big, 2, 2)
expect_tiff2rgba("big_ycbcr22", "big_ycbcr22.tif", tol=2)
bilevel(2400, 1100).save(path("bigfax.base.tif"))
tiffcp("bigfax.base.tif", "big_g4_onestrip.tif", "-c", "g4", "-s", "-r", "100000")
expect_tiff2rgba("big_g4_onestrip", "big_g4_onestrip.tif")

# Small files of large pictures for the memory tests: 6000 x 6000 RGB of
# zeros in one Deflate strip (zlib, streamed), and tiffcp's LZW strip and
# Deflate tiles of 1024 x 1024 made from it. Each decodes to 108 MB.
HUGE = 6000
deflater = zlib.compressobj(9)
row_of_zeros = bytes(HUGE * 3)
huge = b"".join(deflater.compress(row_of_zeros) for _ in range(HUGE)) + deflater.flush()
tiff_file("huge_zip_onestrip.tif", [(256, 4, [HUGE]), (257, 4, [HUGE]), (258, 3, [8, 8, 8]), (259, 3, [8]),
                                    (262, 3, [2]), (273, 4, [("blob", 0)]), (277, 3, [3]), (278, 4, [HUGE]),
                                    (279, 4, [len(huge)]), (284, 3, [1])], [huge])
tiffcp("huge_zip_onestrip.tif", "huge_lzw_onestrip.tif", "-c", "lzw", "-r", str(HUGE))
tiffcp("huge_zip_onestrip.tif", "huge_zip_tile1024.tif", "-c", "zip", "-t", "-w", "1024", "-l", "1024")

# Files libtiff writes that the reader refuses: LZMA, ZSTD and WebP strips,
# and the BigTIFF form (64-bit offsets).
for codec in ("lzma", "zstd", "webp"):
    tiffcp("rgb.base.tif", "refused_%s.tif" % codec, "-c", codec)
tiffcp("rgb.base.tif", "refused_bigtiff.tif", "-8")

# EXIF in TIFF files: exiftool writes an Exif and a GPS directory into a
# file of each byte order; exif.txt lists, per file, category, tag and the
# text the property list must show, from exiftool's raw values (-j -n).
require("exiftool")
import json  # noqa: E402

exif_lines = []
for order, flag in (("ii", "-L"), ("mm", "-B")):
    name = "exif_%s.tif" % order
    tiffcp("rgb.base.tif", name, "-c", "lzw", "-r", "7", flag)
    run("exiftool", "-q", "-overwrite_original", "-Make=Fixture Camera Co", "-Model=FX-1", "-Software=maker",
        "-ExposureTime=1/250", "-FNumber=5.6", "-ISO=200", "-ImageUniqueID=0123456789abcdef",
        "-GPSVersionID=2.3.0.0", "-GPSLatitude=48 51 24", "-GPSLatitudeRef=N", "-GPSAltitude=35.5",
        "-GPSMapDatum=WGS-84", path(name))
    j = json.loads(run("exiftool", "-j", "-n", "-G1", path(name)).decode())[0]
    assert j["File:ExifByteOrder"] == order.upper()
    version = j["ExifIFD:ExifVersion"]
    for category, tag, text in (
            (1, 271, j["IFD0:Make"]), (1, 272, j["IFD0:Model"]), (1, 305, j["IFD0:Software"]),
            (2, 33434, "1/%d" % round(1 / j["ExifIFD:ExposureTime"])), (2, 33437, "%2.1f" % j["ExifIFD:FNumber"]),
            (2, 34855, "%d" % j["ExifIFD:ISO"]), (2, 42016, j["ExifIFD:ImageUniqueID"]),
            (2, 36864, "%s.%s" % (version[:2], version[2:])),
            (16, 0, j["GPS:GPSVersionID"].replace(" ", ".")),
            (16, 1, {"N": "North", "S": "South"}[j["GPS:GPSLatitudeRef"]]),
            (16, 6, "%.2f" % j["GPS:GPSAltitude"]), (16, 18, j["GPS:GPSMapDatum"])):
        exif_lines.append("%s\t%d\t%d\t%s" % (name, category, tag, text))
# The main directory's Make, Model and Orientation without an Exif directory
# (tiffset writes them; exiftool and tiffinfo read them back). Orientation 1,
# the value that turns nothing, is shown as the file holds it.
orientation_names = {1: "top-left (1)"}
for order, flag in (("ii", "-L"), ("mm", "-B")):
    name = "ifd0_%s.tif" % order
    tiffcp("rgb.base.tif", name, "-c", "lzw", "-r", "7", flag)
    for tag, value in ((271, "Fixture Camera Co"), (272, "FX-2"), (274, "1")):
        run("tiffset", "-s", str(tag), value, path(name))
    j = json.loads(run("exiftool", "-j", "-n", "-G1", path(name)).decode())[0]
    assert "ExifIFD:ExifVersion" not in j and j["File:ExifByteOrder"] == order.upper()
    info = run("tiffinfo", path(name)).decode()
    assert "Make: Fixture Camera Co" in info and "Model: FX-2" in info and "Orientation: row 0 top, col 0 lhs" in info
    for category, tag, text in ((1, 271, j["IFD0:Make"]), (1, 272, j["IFD0:Model"]),
                                (1, 274, orientation_names[j["IFD0:Orientation"]])):
        exif_lines.append("%s\t%d\t%d\t%s" % (name, category, tag, text))
with open(path("exif.txt"), "w") as f:
    f.write("\n".join(exif_lines) + "\n")

# Camera RAW: DNG files (the form a camera writes for its RAW data, with a
# CFA sub-directory, a small JPEG preview in the main directory and a larger
# one in a second sub-directory) in each orientation. LibRaw's raw-identify
# gives the output size, dcraw -e the preview it would extract; Pillow
# decodes that preview, turned by half a turn for orientation 3.
require("raw-identify", "dcraw")
import io  # noqa: E402

def jpeg(w, h, seed):
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = ((x * 7 + seed) % 256, (y * 11) % 256, (x * y + seed * 3) % 256)
    b = io.BytesIO(); im.save(b, "JPEG", quality=92); return b.getvalue()

class Tiff:
    """A little-endian TIFF written as a list of IFDs with their data."""
    def __init__(self):
        self.data = bytearray(b"II*\0\0\0\0\0")
    def blob(self, b):
        if len(self.data) % 2: self.data += b"\0"
        at = len(self.data); self.data += b; return at
    def ifd(self, entries, next_at=0):
        # entries: (tag, type, values) ; values list of ints or bytes
        sizes = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 7: 1, 13: 4}
        fmt = {1: "B", 3: "H", 4: "I", 13: "I"}
        packed = []
        for tag, typ, vals in sorted(entries):
            if typ in (2, 7):
                raw = vals if isinstance(vals, bytes) else vals.encode() + b"\0"; count = len(raw)
            elif typ == 5:
                raw = b"".join(struct.pack("<II", n, d) for n, d in vals); count = len(vals)
            else:
                raw = b"".join(struct.pack("<" + fmt[typ], v) for v in vals); count = len(vals)
            if len(raw) <= 4: field = raw.ljust(4, b"\0")
            else: field = struct.pack("<I", self.blob(raw))
            packed.append(struct.pack("<HHI", tag, typ, count) + field)
        if len(self.data) % 2: self.data += b"\0"
        at = len(self.data)
        self.data += struct.pack("<H", len(packed)) + b"".join(packed) + struct.pack("<I", next_at)
        return at
    def first(self, at):
        self.data[4:8] = struct.pack("<I", at)

def dng(path, orientation, make=b"Canon", model="EOS 350D DIGITAL", dng_tags=True):
    t = Tiff()
    small, big = jpeg(40, 30, 1), jpeg(96, 72, 2)
    W, H = 128, 96
    raw = bytearray()
    for y in range(H):
        for x in range(W):
            raw += struct.pack("<H", (x * 37 + y * 91) % 4096)
    raw_at = t.blob(bytes(raw)); small_at = t.blob(small); big_at = t.blob(big)
    rawifd = t.ifd([(254, 4, [0]), (256, 4, [W]), (257, 4, [H]), (258, 3, [16 if dng_tags else 12]), (259, 3, [1]), (262, 3, [32803]),
                    (273, 4, [raw_at]), (277, 3, [1]), (278, 4, [H]), (279, 4, [len(raw)]), (284, 3, [1]),
                    (33421, 3, [2, 2]), (33422, 1, [0, 1, 1, 2]), (50717, 4, [4095])])
    bigifd = t.ifd([(254, 4, [1]), (256, 4, [96]), (257, 4, [72]), (258, 3, [8, 8, 8]), (259, 3, [7]), (262, 3, [6]),
                    (273, 4, [big_at]), (277, 3, [3]), (278, 4, [72]), (279, 4, [len(big)])])
    tags = [(254, 4, [1]), (256, 4, [40]), (257, 4, [30]), (258, 3, [8, 8, 8]), (259, 3, [7]), (262, 3, [6]),
            (271, 2, make.decode()), (272, 2, model), (274, 3, [orientation]),
            (273, 4, [small_at]), (277, 3, [3]), (278, 4, [30]), (279, 4, [len(small)]),
            (330, 4, [rawifd, bigifd])]
    if dng_tags:
        tags += [(50706, 1, [1, 4, 0, 0]), (50708, 2, "Canon EOS 350D"),
                 (50721, 5, [(1, 1), (0, 1), (0, 1), (0, 1), (1, 1), (0, 1), (0, 1), (0, 1), (1, 1)]),
                 (50778, 3, [21])]
    main = t.ifd(tags)
    t.first(main)
    open(path, "wb").write(t.data)
    return big


def raw_sizes(name):
    """LibRaw's output size of a full-size identification, and the picture
    size of a half-size one (raw-identify -h), turned like the output."""
    def size(args, label):
        line = [l for l in run("raw-identify", *args, path(name)).decode().splitlines() if l.startswith(label)][0]
        return [int(v) for v in line.split(":")[1].split("x")]
    out, image, half = size(["-v"], "Output size"), size(["-v"], "Image size"), size(["-h", "-v"], "Image size")
    if out != image:
        half.reverse()
    return "%d %d %d %d" % (out[0], out[1], half[0], half[1])


raw_lines = []
for orientation in (1, 3, 6, 8):
    name = "camera%d.dng" % orientation
    dng(path(name), orientation)
    preview = Image.open(io.BytesIO(run("dcraw", "-e", "-c", path(name))))
    if orientation == 3:
        preview = preview.rotate(180)
    write_expected(name, preview.size[0], preview.size[1], preview.convert("RGBA").tobytes())
    raw_lines.append("%s %d %s" % (name, orientation, raw_sizes(name)))

# A TIFF-based RAW file of a real camera (Nikon's NEF form), turned a
# quarter.
dng(path("camera.nef"), 6, b"NIKON CORPORATION", "NIKON D70", dng_tags=False)
preview = Image.open(io.BytesIO(run("dcraw", "-e", "-c", path("camera.nef"))))
write_expected("camera.nef", preview.size[0], preview.size[1], preview.convert("RGBA").tobytes())
raw_lines.append("camera.nef 6 %s" % raw_sizes("camera.nef"))

# A CIFF file (the older Canon RAW form): a heap whose records name the
# camera (0x080a), the sensor size (0x1031) and the large JPEG (0x2007).
def crw(path):
    big = jpeg(120, 80, 3)
    heap = bytearray()
    recs = []
    def add(typ, data):
        recs.append((typ, len(data), len(heap))); heap.extend(data)
        if len(heap) % 2: heap.append(0)
    add(0x080a, b"Canon\0Canon PowerShot G2\0")
    add(0x1031, struct.pack("<8H", 0, 2312, 1720, 0, 0, 0, 0, 0))
    add(0x2007, big)
    table = len(heap)
    heap += struct.pack("<H", len(recs))
    for t, l, o in recs: heap += struct.pack("<HII", t, l, o)
    heap += struct.pack("<I", table)
    hdr = b"II" + struct.pack("<I", 26) + b"HEAPCCDR" + struct.pack("<I", 0x00010002) + b"\0" * 8
    open(path, "wb").write(hdr + heap)

crw(path("camera.crw"))
preview = Image.open(io.BytesIO(run("dcraw", "-e", "-c", path("camera.crw"))))
write_expected("camera.crw", preview.size[0], preview.size[1], preview.convert("RGBA").tobytes())
raw_lines.append("camera.crw 1 %s" % raw_sizes("camera.crw"))
with open(path("raw.txt"), "w") as f:
    f.write("\n".join(raw_lines) + "\n")

with open(MANIFEST, "w") as f:
    f.write("\n".join(lines) + "\n")
for name in os.listdir(path("")):
    if name.endswith(".base.tif") or name.endswith(".page.tif"):
        os.remove(path(name))
