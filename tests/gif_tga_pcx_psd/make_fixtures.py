#!/usr/bin/python3
"""Makes the GIF, Targa, PCX and Photoshop reader fixtures with tools no one
here wrote, at build time, so the native and the Win64 tests compare against
the same files.

    make_fixtures.py OUTDIR

Pictures are written by ImageMagick, netpbm, gifsicle, Pillow and exiftool
(a 16-bit Targa, which none of them writes, is packed here from a picture
ImageMagick made; Targa rows stored from the right are Pillow's pictures
with the descriptor bit set here) and decoded by Pillow, netpbm or
ImageMagick into
OUTDIR/NAME.rgba: width and height as 32-bit little-endian values, then four
bytes per pixel, top row first: R, G, B, A, or C, M, Y, K for CMYK checks.
Samples of fewer than 8 bits come from netpbm's plain output, widened as
the library documents (v * 255 / maxval, truncating).

OUTDIR/manifest.txt has one line per fixture, "NAME FILE CHECK INDEX":
CHECK is "rgb", "rgba" or "cmyk" (the picture loaded with CMYK kept), INDEX
the image or layer to load. Lines "meta FILE KIND BLOB" name a metadata
block (kind 1 EXIF, 2 IPTC, 3 XMP, 4 ICC) whose bytes exiftool extracted
into BLOB. When a tool is missing the manifest holds one line "skip REASON".
"""
import os
import shutil
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fixturekit import MANIFEST, path, require, run, skip, write_expected  # noqa: E402
CONVERT = "/usr/bin/convert"


try:
    from PIL import Image, ImageCms, ImageOps
except ImportError:
    skip("Pillow is not installed for /usr/bin/python3")
require(CONVERT, "giftopnm", "pcxtoppm", "tgatoppm", "ppmtopcx", "ppmtotga", "ppmtogif", "pnmtoplainpnm",
        "gifsicle", "exiftool")

lines = []


def magick(*args):
    run(CONVERT, *args)


def add(name, fixture, check, index=0):
    lines.append("%s %s %s %d" % (name, fixture, check, index))


def expect_pillow(name, fixture, check="rgb"):
    im = Image.open(path(fixture))
    if check == "cmyk":
        assert im.mode == "CMYK"
        data = im.tobytes()
    else:
        data = im.convert("RGBA").tobytes()
    write_expected(name, im.size[0], im.size[1], data)
    add(name, fixture, check)


def parse_plain(data):
    """Width, height, maxval, samples per pixel and samples of a plain PNM."""
    tokens = []
    magic = data[:2]
    for line in data[2:].split(b"\n"):
        tokens.extend(line.split(b"#")[0].split())
    w, h = int(tokens[0]), int(tokens[1])
    if magic == b"P1":
        bits = b"".join(tokens[2:]).decode()
        return w, h, 1, 1, [1 - int(c) for c in bits]
    spp = 3 if magic == b"P3" else 1
    return w, h, int(tokens[2]), spp, [int(t) for t in tokens[3:]]


def pillow_rgba(fixture):
    return Image.open(path(fixture)).convert("RGBA").tobytes()


def magick_rgba(fixture, *options):
    return run(CONVERT, path(fixture) + "[0]", *options, "-depth", "8", "rgba:-")


def expect_agreed(name, fixture, picture, check, *decodings, index=0):
    """The pixels of `picture` (a Pillow image of image `index` of the
    fixture), which every one of the decoders' R, G, B, A `decodings` must
    give."""
    want = picture.convert("RGBA").tobytes()
    for decoded in decodings:
        assert decoded == want, name
    write_expected(name, picture.size[0], picture.size[1], want)
    add(name, fixture, check, index)


def expect_netpbm(name, fixture, decoded, index=0):
    """Expected pixels from netpbm's plain rendering of a decoded picture."""
    w, h, maxval, spp, samples = parse_plain(run("pnmtoplainpnm", stdin=decoded))
    rgba = bytearray()
    for i in range(w * h):
        px = samples[spp * i:spp * i + spp] if spp == 3 else [samples[i]] * 3
        rgba += bytes([v * 255 // maxval for v in px] + [255])
    write_expected(name, w, h, rgba)
    add(name, fixture, "rgb", index)


def expect_magick(name, fixture, index, check="rgb"):
    """ImageMagick's pixels of image `index` of the file (a layer of a PSD):
    16-bit samples are narrowed to their high byte."""
    src = "%s[%d]" % (path(fixture), index)
    w, h = (int(v) for v in run(CONVERT, src, "-format", "%w %h", "info:").split())
    if check == "cmyk":
        data = run(CONVERT, src, "-depth", "8", "cmyk:-")
    else:
        data = run(CONVERT, src, "-depth", "16", "-endian", "MSB", "rgba:-")[::2]
    write_expected(name, w, h, data)
    add(name, fixture, check, index)


# A colourful source picture with an odd size (row padding on every path),
# its grey form and palettes of several sizes.
SRC = path("src.ppm")
magick("-seed", "7", "-size", "37x21", "plasma:", "-depth", "8", SRC)
for n in (2, 16, 50, 200):
    magick(SRC, "-colors", str(n), path("p%d.ppm" % n))
SMALL = path("small.png")
magick("-size", "12x9", "gradient:red-blue", SMALL)
ROUND = path("round.png")
magick("-size", "20x7", "xc:none", "-fill", "green", "-draw", "circle 10,3 14,3", ROUND)
ALPHA = path("alpha.png")
magick(SRC, "-alpha", "set", "-channel", "A", "-fx", "i/w", "+channel", ALPHA)

# --- GIF: ImageMagick, netpbm and gifsicle write; netpbm and Pillow decode --
magick(SRC, "-colors", "200", path("im8.gif"))
expect_netpbm("gif_im8", "im8.gif", run("giftopnm", path("im8.gif")))
magick(SRC, "-colors", "200", "-interlace", "GIF", path("interlaced.gif"))
expect_pillow("gif_interlaced", "interlaced.gif")
run("gifsicle", "--interlace", path("im8.gif"), "-o", path("gsi.gif"))
expect_netpbm("gif_gifsicle_interlaced", "gsi.gif", run("giftopnm", path("gsi.gif")))
magick(SRC, "-monochrome", path("mono.gif"))
expect_netpbm("gif_two_colours", "mono.gif", run("giftopnm", path("mono.gif")))
magick(SRC, "-colors", "16", path("im16.gif"))
expect_pillow("gif_sixteen", "im16.gif")
with open(path("ppm.gif"), "wb") as f:
    f.write(run("ppmtogif", path("p50.ppm")))
expect_netpbm("gif_ppmtogif", "ppm.gif", run("giftopnm", path("ppm.gif")))
magick(SRC, "-colors", "30", "-transparent", "white", path("transparent.gif"))
expect_netpbm("gif_transparent", "transparent.gif", run("giftopnm", path("transparent.gif")))
# Three images of different sizes, the later two with local colour tables.
magick("-delay", "10", "(", SRC, "-colors", "64", ")",
       "(", "-size", "9x14", "gradient:yellow-navy", "-colors", "12", "-repage", "37x21+20+5", ")",
       "(", SMALL, "-colors", "7", "-repage", "37x21+3+4", ")", path("anim.gif"))
for i in range(3):
    expect_netpbm("gif_anim_%d" % i, "anim.gif", run("giftopnm", "-image=%d" % (i + 1), path("anim.gif")), i)
# gifsicle's optimisation crops the later frames and makes them transparent.
magick("-delay", "10", SRC, "(", SRC, "-fill", "red", "-draw", "rectangle 5,5 12,9", ")",
       "(", SRC, "-fill", "blue", "-draw", "circle 25,10 28,12", ")", "-colors", "100", path("frames.gif"))
run("gifsicle", "-O2", path("frames.gif"), "-o", path("optimised.gif"))
for i in range(3):
    expect_netpbm("gif_optimised_%d" % i, "optimised.gif",
                  run("giftopnm", "-image=%d" % (i + 1), path("optimised.gif")), i)

# A 9-bit root for 8-bit pixels, which no tool here writes: literal codes
# only, packed here, with a clear code before the table would widen them.
# Pillow and ImageMagick read it.
def literal_lzw(indices, root):
    clear = 1 << root
    codes, since_clear = [], clear
    for v in indices:
        if since_clear >= clear - 2:
            codes.append(clear)
            since_clear = 0
        codes.append(v)
        since_clear += 1
    codes.append(clear + 1)
    packed, acc, nbits = bytearray(), 0, 0
    for c in codes:
        acc |= c << nbits
        nbits += root + 1
        while nbits >= 8:
            packed.append(acc & 255)
            acc >>= 8
            nbits -= 8
    packed += bytes([acc]) if nbits else b""
    blocks = b"".join(bytes([len(packed[i:i + 255])]) + packed[i:i + 255] for i in range(0, len(packed), 255))
    return blocks + b"\0"


mapped = Image.open(path("p200.ppm")).convert("P", palette=Image.ADAPTIVE, colors=200)
palette = bytes(mapped.getpalette()[:768]).ljust(768, b"\0")
w, h = mapped.size
with open(path("root9.gif"), "wb") as f:
    f.write(b"GIF89a" + struct.pack("<HHBBB", w, h, 0xF7, 0, 0) + palette + b"," +
            struct.pack("<HHHHB", 0, 0, w, h, 0) + bytes([9]) + literal_lzw(list(mapped.getdata()), 9) + b";")
expect_agreed("gif_root_nine_bits", "root9.gif", mapped, "rgb", pillow_rgba("root9.gif"), magick_rgba("root9.gif"))

# A graphic control extension names the transparent index of the image that
# follows it only: images of our own (each holding indexes 0 to 3), one after
# an extension with the flag, one after an extension without it, one after
# none, one after another flagged one. gifsicle names each image's
# transparent index and ImageMagick's alpha shows which pixel it hides; they
# must agree (netpbm and Pillow keep an index for the images after it). gif_transparency.txt lists them ("IMAGE TRANSPARENT", -1 for
# none).
def control(flag, index):
    return b"\x21\xF9\x04" + bytes([flag, 0, 0, index, 0])


def small_image():
    return b"," + struct.pack("<HHHHB", 0, 0, 4, 1, 0) + bytes([2]) + literal_lzw([0, 1, 2, 3], 2)


with open(path("transparency.gif"), "wb") as f:
    f.write(b"GIF89a" + struct.pack("<HHBBB", 4, 1, 0x81, 0, 0) + bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255]) +
            control(1, 2) + small_image() + control(0, 2) + small_image() + small_image() +
            control(1, 3) + small_image() + b";")
info = run("gifsicle", "--info", path("transparency.gif")).decode()
gifsicle_transparent = [int(l.split("transparent")[1]) if "transparent" in l else -1
                        for l in info.splitlines() if l.strip().startswith("+ image")]
magick_transparent = []
for i in range(4):
    alpha = run(CONVERT, "%s[%d]" % (path("transparency.gif"), i), "-alpha", "extract", "-depth", "8", "gray:-")
    hidden = [x for x, a in enumerate(alpha) if a == 0]
    magick_transparent.append(hidden[0] if hidden else -1)
assert gifsicle_transparent == magick_transparent == [2, -1, -1, 3], (gifsicle_transparent, magick_transparent)
with open(path("gif_transparency.txt"), "w") as f:
    f.write("".join("%d %d\n" % (i, t) for i, t in enumerate(gifsicle_transparent)))

# --- Targa: ImageMagick, netpbm and Pillow write; Pillow and netpbm decode --
tga_cases = [
    ("tga_truecolour", "im24.tga", [SRC]),
    ("tga_truecolour_rle", "im24r.tga", [SRC, "-compress", "RLE"]),
    ("tga_mapped", "im8.tga", [path("p50.ppm"), "-type", "Palette"]),
    ("tga_mapped_rle", "im8r.tga", [path("p50.ppm"), "-type", "Palette", "-compress", "RLE"]),
    ("tga_grey", "grey.tga", [SRC, "-colorspace", "Gray", "-type", "Grayscale"]),
    ("tga_grey_rle", "greyr.tga", [SRC, "-colorspace", "Gray", "-type", "Grayscale", "-compress", "RLE"]),
    ("tga_alpha", "im32.tga", [ALPHA]),
    ("tga_alpha_rle", "im32r.tga", [ALPHA, "-compress", "RLE"]),
]
for name, fixture, args in tga_cases:
    magick(*(args + [path(fixture)]))
    expect_pillow(name, fixture, "rgba" if "alpha" in name else "rgb")
for name, fixture, opts, source in [("tga_netpbm_mapped", "nm8.tga", ["-cmap"], "p50.ppm"),
                                 ("tga_netpbm_raw", "nm24.tga", ["-rgb", "-norle"], "src.ppm"),
                                 ("tga_netpbm_rle", "nm24r.tga", ["-rgb"], "src.ppm"),
                                 ("tga_netpbm_mono", "nmm.tga", ["-mono"], "p50.ppm")]:
    with open(path(fixture), "wb") as f:
        f.write(run("ppmtotga", *opts, path(source)))
    expect_netpbm(name, fixture, run("tgatoppm", path(fixture)))
picture = Image.open(SRC)
picture.save(path("topdown.tga"), orientation=1)
expect_pillow("tga_top_down", "topdown.tga")
picture.save(path("topdownr.tga"), orientation=1, compression="tga_rle")
expect_pillow("tga_top_down_rle", "topdownr.tga")
picture.convert("1").save(path("bits.tga"))
expect_pillow("tga_one_bit", "bits.tga")
# 16-bit pixels (5-5-5, the top bit set), bottom-up.
w, h = picture.size
px = picture.load()
rows = []
for y in range(h - 1, -1, -1):
    rows.append(b"".join(struct.pack("<H", 0x8000 | (px[x, y][0] >> 3) << 10 | (px[x, y][1] >> 3) << 5 |
                                     px[x, y][2] >> 3) for x in range(w)))
with open(path("t16.tga"), "wb") as f:
    f.write(struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, w, h, 16, 0) + b"".join(rows))
expect_netpbm("tga_sixteen", "t16.tga", run("tgatoppm", path("t16.tga")))

# Rows stored from their right end (descriptor bit 0x10): Pillow writes the
# mirrored picture and the bit is set here, so the file holds the picture
# itself. Pillow and ImageMagick (turned by -auto-orient) read it back.
alpha_picture = Image.open(ALPHA).convert("RGBA")
for name, source in (("rgb", picture), ("mapped", picture.convert("P", palette=Image.ADAPTIVE, colors=50)),
                     ("grey", picture.convert("L")), ("alpha", alpha_picture)):
    for rle in (False, True):
        fixture = "rtl_%s%s.tga" % (name, "_rle" if rle else "")
        ImageOps.mirror(source).save(path(fixture), **({"compression": "tga_rle"} if rle else {}))
        with open(path(fixture), "r+b") as f:
            f.seek(17)
            descriptor = f.read(1)[0]
            f.seek(17)
            f.write(bytes([descriptor | 0x10]))
        expect_agreed("tga_right_to_left_" + name + ("_rle" if rle else ""), fixture, source,
                      "rgba" if name == "alpha" else "rgb", pillow_rgba(fixture), magick_rgba(fixture, "-auto-orient"))
# 16-bit grey pictures hold a grey and an alpha byte per pixel. Pillow writes
# and reads them; ImageMagick 6 and netpbm read them as 16-bit grey and as
# 5-5-5 colour, so the picture Pillow wrote them from is the second check.
grey_alpha = alpha_picture.convert("LA")
for rle in (False, True):
    fixture = "greyalpha%s.tga" % ("_rle" if rle else "")
    grey_alpha.save(path(fixture), **({"compression": "tga_rle"} if rle else {}))
    expect_agreed("tga_grey_alpha" + ("_rle" if rle else ""), fixture, grey_alpha, "rgba", pillow_rgba(fixture))

# --- PCX: netpbm, ImageMagick and Pillow write; ImageMagick and netpbm decode
# One-bit pictures are bilevel (1 white) whatever the header palette holds,
# as Pillow reads them; pictures of two one-bit planes take no palette from
# the header either, so only their tests in pcx_test.cpp look at them.
for name, fixture, opts, source, oracle in [("pcx_four_planes", "nm4p.pcx", [], "p16.ppm", "magick"),
                                            ("pcx_packed", "nmpk.pcx", ["-packed"], "p16.ppm", "magick"),
                                            ("pcx_one_plane", "nm1p.pcx", ["-planes", "1"], "p2.ppm", "pillow"),
                                            ("pcx_eight_bit", "nm8.pcx", ["-8bit"], "p200.ppm", "magick"),
                                            ("pcx_truecolour", "nm24.pcx", ["-24bit"], "src.ppm", "magick")]:
    with open(path(fixture), "wb") as f:
        f.write(run("ppmtopcx", *opts, path(source)))
    if oracle == "pillow":
        expect_pillow(name, fixture)
    else:
        expect_magick(name, fixture, 0)
magick(path("p200.ppm"), "pcx:" + path("im8.pcx"))
expect_netpbm("pcx_magick_eight_bit", "im8.pcx", run("pcxtoppm", path("im8.pcx")))
magick(SRC, "pcx:" + path("im24.pcx"))
expect_netpbm("pcx_magick_truecolour", "im24.pcx", run("pcxtoppm", path("im24.pcx")))
for mode in ("1", "L", "P", "RGB"):
    im = picture.convert(mode) if mode != "P" else picture.convert("P", palette=Image.ADAPTIVE, colors=50)
    fixture = "pil_%s.pcx" % mode
    im.save(path(fixture))
    expect_netpbm("pcx_pillow_%s" % mode, fixture, run("pcxtoppm", path(fixture)))

# A DCX file of three pages (8-bit with its palette, 24-bit, 16 colours),
# as ImageMagick writes and reads it. Pillow looks for a page's palette at
# the end of the whole file, so it reads each page cut out of the file.
magick("(", path("p200.ppm"), "-type", "Palette", ")", "(", SMALL, ")", "(", path("p16.ppm"), "-type", "Palette",
       ")", path("pages.dcx"))
with open(path("pages.dcx"), "rb") as f:
    dcx = f.read()
offsets = []
while struct.unpack_from("<I", dcx, 4 + 4 * len(offsets))[0]:
    offsets.append(struct.unpack_from("<I", dcx, 4 + 4 * len(offsets))[0])
for k, start in enumerate(offsets):
    page = "page%d.pcx" % k
    with open(path(page), "wb") as f:
        f.write(dcx[start:offsets[k + 1] if k + 1 < len(offsets) else len(dcx)])
    shown = Image.frombytes("RGBA", Image.open(path(page)).size, run(CONVERT, "%s[%d]" % (path("pages.dcx"), k),
                                                                      "-depth", "8", "rgba:-"))
    expect_agreed("dcx_page_%d" % k, "pages.dcx", shown, "rgb", pillow_rgba(page), index=k)

# --- Photoshop: ImageMagick writes; ImageMagick and Pillow decode -----------
psd_cases = [
    ("psd_rgb", "rgb.psd", [SRC]),
    ("psd_rgb_rle", "rgbr.psd", [SRC, "-compress", "RLE"]),
    ("psd_grey", "grey.psd", [SRC, "-colorspace", "Gray"]),
    ("psd_indexed", "indexed.psd", [path("p50.ppm"), "-type", "Palette"]),
    ("psd_alpha", "alpha.psd", [ALPHA]),
]
for name, fixture, args in psd_cases:
    magick(*(args + [path(fixture)]))
    expect_pillow(name, fixture, "rgba" if "alpha" in name else "rgb")


def psd_without_layers(data, channels=None, mode=None):
    """The document with an empty layer and mask section, and with the
    header's channel count and colour mode changed when given."""
    at = 26
    for _ in range(2):  # colour mode data, image resources
        at += 4 + struct.unpack(">I", data[at:at + 4])[0]
    layers = struct.unpack(">I", data[at:at + 4])[0]
    head = bytearray(data[:at])
    if channels is not None:
        head[12:14] = struct.pack(">H", channels)
    if mode is not None:
        head[24:26] = struct.pack(">H", mode)
    return bytes(head) + struct.pack(">I", 0) + data[at + 4 + layers:]


# Extra composite channels are transparency only behind a negative layer
# count (ImageMagick writes one with its alpha). Without the layer section
# ImageMagick's alpha document holds a saved selection; its RGB document
# gains a spot colour channel, or becomes multichannel. ImageMagick shows
# them all opaque; Pillow reads the same colours (and multichannel as grey,
# which is ImageMagick's red).
magick(ALPHA, "-compress", "RLE", path("alphar.psd"))
spot = bytes((x * 7 + y * 3) % 256 for y in range(21) for x in range(37))
for fixture, source, change, extra in (("selection.psd", "alphar.psd", {}, b""),
                                       ("spot.psd", "rgb.psd", {"channels": 4}, spot),
                                       ("multichannel.psd", "rgb.psd", {"channels": 4, "mode": 7}, spot)):
    with open(path(source), "rb") as f:
        data = psd_without_layers(f.read(), **change)
    with open(path(fixture), "wb") as f:
        f.write(data + extra)
    shown = Image.frombytes("RGBA", (37, 21), magick_rgba(fixture))
    pillow = Image.open(path(fixture))
    pillow_colours = pillow.convert("L" if pillow.mode == "L" else "RGB").tobytes()
    assert pillow_colours == shown.convert("RGB").tobytes() if pillow.mode != "L" else shown.getchannel("R").tobytes()
    expect_agreed("psd_extra_channels_" + fixture[:-4], fixture, shown, "rgba")
magick(SRC, "-colorspace", "CMYK", path("cmyk.psd"))
expect_pillow("psd_cmyk", "cmyk.psd", "cmyk")
magick(SRC, "-depth", "16", path("deep.psd"))
expect_magick("psd_sixteen", "deep.psd", 0)
magick(SRC, "-depth", "16", "-compress", "RLE", path("deepr.psd"))
expect_magick("psd_sixteen_rle", "deepr.psd", 0)
# A composite with two layers of their own sizes and places, one with alpha.
# (ImageMagick's layers are ZIP compressed unless asked otherwise; the reader
# takes raw and run-length channels only.)
layered = [SRC, "(", SMALL, "-repage", "+3+4", ")", "(", ROUND, "-repage", "+10+2", ")"]
magick(*(layered + ["-compress", "RLE", path("layers.psd")]))
expect_pillow("psd_layers_composite", "layers.psd")
expect_magick("psd_layers_1", "layers.psd", 1)
expect_magick("psd_layers_2", "layers.psd", 2, "rgba")
magick(*(layered + ["-compress", "None", path("layersraw.psd")]))
expect_magick("psd_layers_raw_2", "layersraw.psd", 2, "rgba")
magick(*(layered + ["-depth", "16", "-compress", "RLE", path("layers16.psd")]))
expect_magick("psd_layers_sixteen_1", "layers16.psd", 1)
magick(SRC, "-colorspace", "Gray", "(", SMALL, "-colorspace", "Gray", "-repage", "+3+4", ")",
       "-compress", "RLE", path("greylayers.psd"))
expect_magick("psd_grey_layers_1", "greylayers.psd", 1)
magick(SRC, "-colorspace", "CMYK", "(", SMALL, "-colorspace", "CMYK", "-repage", "+3+4", ")",
       "-compress", "RLE", path("cmyklayers.psd"))
expect_magick("psd_cmyk_layers_1", "cmyklayers.psd", 1, "cmyk")

# Metadata resources written by exiftool, and their bytes as it reads them.
with open(path("srgb.icc"), "wb") as f:
    f.write(ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes())
shutil.copy(path("rgb.psd"), path("meta.psd"))
run("exiftool", "-q", "-overwrite_original", "-IPTC:Keywords=harbour", "-IPTC:Caption-Abstract=Boats at dawn",
    "-XMP-dc:Title=Morning", "-EXIF:Artist=Anne Example", "-EXIF:ImageDescription=Odd sized",
    "-ICC_Profile<=" + path("srgb.icc"), path("meta.psd"))
expect_pillow("psd_metadata", "meta.psd")
for kind, tag in ((1, "EXIF"), (2, "IPTC"), (3, "XMP"), (4, "ICC_Profile")):
    blob = "meta.%s" % tag.lower()
    with open(path(blob), "wb") as f:
        f.write(run("exiftool", "-b", "-" + tag, path("meta.psd")))
    lines.append("meta meta.psd %d %s" % (kind, blob))

with open(MANIFEST, "w") as f:
    f.write("\n".join(lines) + "\n")
