#!/usr/bin/python3
"""Makes the PNG, APNG and icon reader fixtures and their expected pixels with
tools no one here wrote, at build time, so the native and the Win64 tests
compare against the same files.

    make_fixtures.py OUTDIR

Pictures are written by Pillow, ImageMagick and icoutils; expected pixels come
from Pillow (PNG, APNG frames: seek(n) + convert("RGBA")), from icotool's
extraction of each icon entry read by Pillow, and for translucent APNG "over"
frames from Pillow's Image.alpha_composite of the frames given to the writer.
Each NAME.rgba holds width and height as 32-bit little-endian values, then
R, G, B, A bytes, top row first.

OUTDIR/manifest.txt has one line per check:
    NAME FILE CHECK INDEX OPTIONS TOLERANCE
CHECK is "rgb" (colours where the expected alpha is not 0) or "rgba"; INDEX
the wanted image (-1: the load's default); OPTIONS a comma list of "best"
(choose the richest icon), "mask" (icon mask to alpha), "white" (both PNG
background options) or "-". When a tool is missing the manifest holds one
line "skip REASON".
"""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fixturekit import MANIFEST, path, require, run, skip, write_expected as write_rgba  # noqa: E402


try:
    from PIL import Image, ImageCms, PngImagePlugin
except ImportError:
    skip("Pillow (with ImageCms) is not installed for /usr/bin/python3")
require("convert", "icotool", "pngcheck", "pnmtopng")

lines = []


def write_expected(name, im):
    im = im.convert("RGBA")
    write_rgba(name, im.size[0], im.size[1], im.tobytes())


def check(name, fixture, kind="rgb", index=-1, options="-", tolerance=0):
    lines.append("%s %s %s %d %s %d" % (name, fixture, kind, index, options, tolerance))


def expect_pillow(name, fixture, kind="rgb", options="-"):
    write_expected(name, Image.open(path(fixture)))
    check(name, fixture, kind, -1, options)


def chunk_types(fixture):
    """Chunk types of a PNG in file order (pngcheck's own reading)."""
    out = run("pngcheck", "-v", path(fixture)).decode("latin-1")
    return [l.split()[1] for l in out.splitlines() if l.strip().startswith("chunk ")]


# ---------------------------------------------------------------------------
# Source pictures.

def gradient(w, h, alpha=False):
    im = Image.new("RGBA" if alpha else "RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            c = ((x * 37 + y * 11) % 256, (y * 53 + 7) % 256, (x * y * 13 + 90) % 256)
            px[x, y] = c + (((x * 29 + y * 71) % 256,) if alpha else ())
    return im


rgb = gradient(13, 7)
rgba = gradient(13, 7, alpha=True)
grey = rgb.convert("L")

# ---------------------------------------------------------------------------
# PNG stills.

rgb.save(path("rgb8.png"))
expect_pillow("rgb8", "rgb8.png")
rgba.save(path("rgba8.png"))
expect_pillow("rgba8", "rgba8.png", "rgba")
grey.save(path("grey8.png"))
expect_pillow("grey8", "grey8.png")
grey.point(lambda v: 255 if v > 100 else 0).convert("1").save(path("grey1.png"))
expect_pillow("grey1", "grey1.png")
for bits in (2, 4):
    name = "grey%d" % bits
    run("convert", path("grey8.png"), "-colorspace", "gray", "-depth", str(bits), path(name + ".png"))
    assert b"%d-bit grayscale" % bits in run("pngcheck", "-v", path(name + ".png"))
    expect_pillow(name, name + ".png")
Image.merge("LA", (grey, grey.point(lambda v: 255 - v))).save(path("greyalpha.png"))
expect_pillow("greyalpha", "greyalpha.png")

# 16-bit samples with distinct high and low bytes; the reader keeps the high byte.
grey16 = Image.new("I;16", (11, 5))
g16 = [(x * 5981 + y * 7919) % 65536 for y in range(5) for x in range(11)]
grey16.putdata(g16)
grey16.save(path("grey16.png"))
write_expected("grey16", Image.frombytes("L", (11, 5), bytes(v >> 8 for v in g16)))
check("grey16", "grey16.png")
for name, colours in (("rgb16", "rgb"), ("rgba16", "rgba")):
    opts = ["-size", "11x5", "gradient:#123456789abc-#fedcba987654", "-depth", "16"]
    if colours == "rgba":
        opts += ["(", "-size", "11x5", "gradient:#ffff-#1234", ")", "-alpha", "off", "-compose",
                 "CopyOpacity", "-composite"]
    run("convert", *opts, ("PNG64:" if colours == "rgba" else "PNG48:") + path(name + ".png"))
    assert b"-bit RGB" in run("pngcheck", path(name + ".png"))
    expect_pillow(name, name + ".png", colours)

pal = rgb.quantize(200)
pal.save(path("pal8.png"))
expect_pillow("pal8", "pal8.png")
for bits in (1, 2, 4):
    name = "pal%d" % bits
    rgb.quantize(1 << bits).save(path(name + ".png"), bits=bits)
    assert b"%d-bit palette" % bits in run("pngcheck", "-v", path(name + ".png"))
    expect_pillow(name, name + ".png")

# Transparency: a palette with partial alphas (entry 3 is the first at 0), a
# grey value and an RGB colour.
pal4 = rgb.quantize(16)
pal4.save(path("pal_trns.png"), transparency=bytes([255, 200, 128, 0, 0, 64] + [255] * 10))
expect_pillow("pal_trns", "pal_trns.png")
write_expected("pal_trns_white",
               Image.alpha_composite(Image.new("RGBA", pal4.size, (255, 255, 255, 255)),
                                     Image.open(path("pal_trns.png")).convert("RGBA")))
check("pal_trns_white", "pal_trns.png", "rgb", -1, "white", 1)
grey.save(path("grey_trns.png"), transparency=int(grey.getpixel((2, 3))))
expect_pillow("grey_trns", "grey_trns.png")
rgb.save(path("rgb_trns.png"), transparency=rgb.getpixel((4, 1)))
expect_pillow("rgb_trns", "rgb_trns.png")
write_expected("rgba8_white",
               Image.alpha_composite(Image.new("RGBA", rgba.size, (255, 255, 255, 255)), rgba))
check("rgba8_white", "rgba8.png", "rgb", -1, "white", 1)
# Without gAMA: libpng composites in linear light when the file names its gamma.
run("convert", path("rgb16.png"), "-alpha", "on", "-channel", "A", "-fx", "0.5", "+channel",
    "-define", "png:exclude-chunks=gAMA,cHRM,bKGD,sRGB", "PNG64:" + path("rgba16_half.png"))
assert b"64-bit RGB+alpha" in run("pngcheck", path("rgba16_half.png"))
write_expected("rgba16_white",
               Image.alpha_composite(Image.new("RGBA", (11, 5), (255, 255, 255, 255)),
                                     Image.open(path("rgba16_half.png")).convert("RGBA")))
check("rgba16_white", "rgba16_half.png", "rgb", -1, "white", 2)

# Interlaced pictures (ImageMagick writes Adam7).
for src, name, kind in (("rgb8.png", "rgb8_i", "rgb"), ("pal4.png", "pal4_i", "rgb"),
                        ("grey1.png", "grey1_i", "rgb"), ("rgba16.png", "rgba16_i", "rgba"),
                        ("grey2.png", "grey2_i", "rgb")):
    extra = []
    if name == "pal4_i":
        extra = ["-define", "png:bit-depth=4", "-define", "png:color-type=3"]
    if name == "grey1_i":
        extra = ["-define", "png:bit-depth=1", "-define", "png:color-type=0"]
    if name == "grey2_i":
        extra = ["-define", "png:bit-depth=2", "-define", "png:color-type=0"]
    run("convert", path(src), "-interlace", "PNG", *extra, path(name + ".png"))
    assert b"interlaced" in run("pngcheck", "-v", path(name + ".png")).replace(b"non-interlaced", b"")
    expect_pillow(name, name + ".png", kind)
# A picture taller than wide, interlaced, so pass rows differ.
gradient(5, 23).save(path("tall.png"))
run("convert", path("tall.png"), "-interlace", "PNG", path("tall_i.png"))
expect_pillow("tall_i", "tall_i.png")

# Twins of every colour type and depth, plain and interlaced, written by one
# tool each (ImageMagick; pnmtopng for palettes, whose bit depth it takes from
# the colour count): an interlaced picture must load exactly as its plain
# twin does, whatever the load asks for. Pillow decodes the interlaced ones
# (16-bit grey as its high bytes: Pillow's conversion would clip).
def ihdr(fixture):
    with open(path(fixture), "rb") as f:
        head = f.read(29)
    return head[24], head[25], head[28]  # bit depth, colour type, interlace


twin_src = gradient(97, 61, alpha=True)
twin_src.save(path("twin_src_rgba.png"))
twin_src.convert("RGB").save(path("twin_src_rgb.png"))
twins = []
for kind, colour_type, depths in (("grey", 0, (1, 2, 4, 8, 16)), ("rgb", 2, (8, 16)), ("pal", 3, (1, 2, 4, 8)),
                                  ("greya", 4, (8, 16)), ("rgba", 6, (8, 16))):
    for depth in depths:
        name = "twin_%s%d" % (kind, depth)
        for interlaced in (False, True):
            fixture = name + ("_i" if interlaced else "") + ".png"
            if kind == "pal":
                twin_src.convert("RGB").quantize(1 << depth).convert("RGB").save(path(name + ".ppm"))
                with open(path(fixture), "wb") as f:
                    f.write(run("pnmtopng", *(["-interlace"] if interlaced else []), path(name + ".ppm")))
            else:
                src = path("twin_src_rgba.png" if colour_type in (4, 6) else "twin_src_rgb.png")
                grey = ["-colorspace", "Gray"] if colour_type in (0, 4) else []
                levels = ["-posterize", str(1 << depth)] if colour_type == 0 and depth < 8 else []
                run("convert", src, *grey, *levels, *(["-interlace", "PNG"] if interlaced else []),
                    "-define", "png:color-type=%d" % colour_type, "-define", "png:bit-depth=%d" % depth,
                    path(fixture))
            assert ihdr(fixture) == (depth, colour_type, 1 if interlaced else 0), fixture
        if kind == "grey" and depth == 16:
            high = Image.open(path(name + "_i.png"))
            write_expected(name + "_i", Image.frombytes("L", high.size, bytes(v >> 8 for v in high.getdata())))
            check(name + "_i", name + "_i.png")
        else:
            expect_pillow(name + "_i", name + "_i.png", "rgba" if colour_type == 6 else "rgb")
        twins.append(name)
with open(path("twins.txt"), "w") as f:
    f.write("\n".join(twins) + "\n")

# A photo-sized interlaced picture (3000 x 2000 RGB), and a small file that
# declares a large one (4500 x 4500 RGBA, all transparent black: 81 MB of
# rows in 80 KB), for the memory the loads take.
run("convert", "-size", "3000x2000", "gradient:#204060-#e0c0a0", "-depth", "8", "-interlace", "PNG", path("big_i.png"))
assert ihdr("big_i.png") == (8, 2, 1)
run("convert", "-size", "4500x4500", "xc:none", "-interlace", "PNG", "-define", "png:color-type=6",
    "-define", "png:bit-depth=8", path("huge_i.png"))
assert ihdr("huge_i.png") == (8, 6, 1)

# ---------------------------------------------------------------------------
# Texts, profiles and resolution.

iim = b"\x1c\x02\x00\x00\x02\x00\x04" + b"\x1c\x02\x78" + struct.pack(">H", 17) + b"A caption in IPTC"
with open(path("iptc.iim"), "wb") as f:
    f.write(iim)


def raw_profile(data, upper=False):
    digits = data.hex()
    if upper:
        digits = digits.upper()
    body = "\n".join(digits[i:i + 72] for i in range(0, len(digits), 72))
    return "\niptc\n%8d\n%s\n" % (len(data), body)


def png_chunk(cid, data):
    return struct.pack(">I", len(data)) + cid + data + struct.pack(">I", zlib.crc32(cid + data))


def add_after_image(fixture, chunks):
    """Puts chunks just before IEND (Pillow writes texts before the image)."""
    with open(path(fixture), "rb") as f:
        data = f.read()
    iend = data.rindex(b"IEND") - 4
    with open(path(fixture), "wb") as f:
        f.write(data[:iend] + b"".join(png_chunk(c, d) for c, d in chunks) + data[iend:])


info = PngImagePlugin.PngInfo()
info.add_text("comment", "A comment before the image")
info.add_text("Title", "A zipped title", zip=True)
info.add_itxt("Author", "An international author", lang="en", tkey="Author")
info.add_text("Note", "nCC texts are not kept")
rgb.save(path("texts.png"), pnginfo=info, dpi=(96, 96))
add_after_image("texts.png", [
    (b"tEXt", b"Copyright\0After the image"),
    (b"zTXt", b"Software\0\0" + zlib.compress(b"A zipped tool")),
    (b"tEXt", b"comment\0lower-case comment after the image"),
    (b"tEXt", b"Unlisted\0not a kept key"),
    (b"zTXt", b"Raw profile type iptc\0\0" + zlib.compress(raw_profile(iim).encode()))])
order = chunk_types("texts.png")
assert order.index("IDAT") < order.index("zTXt", order.index("IDAT")), order

# ImageMagick writes the raw profile before the image data.
run("convert", path("rgb8.png"), "-profile", "iptc:" + path("iptc.iim"), path("iptc_before.png"))
order = chunk_types("iptc_before.png")
assert order.index("tEXt") < order.index("IDAT") or order.index("zTXt") < order.index("IDAT"), order

rgb.save(path("iptc_upper.png"))
add_after_image("iptc_upper.png", [(b"tEXt", b"Raw profile type iptc\0" + raw_profile(iim, upper=True).encode())])

icc = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
with open(path("srgb.icc"), "wb") as f:
    f.write(icc)
rgb.save(path("icc.png"), icc_profile=icc)
Image.open(path("rgb16.png")).save(path("icc16_src.png"))
run("convert", path("rgb16.png"), "-profile", path("srgb.icc"), path("icc16.png"))
assert b"iCCP" in run("pngcheck", "-v", path("icc16.png"))

# ---------------------------------------------------------------------------
# APNG.

W, H = 24, 16


def solid(colour, size=(W, H)):
    return Image.new("RGBA", size, colour)


def frame_with_hole(colour, box):
    im = solid(colour)
    im.paste((0, 0, 0, 0), box)
    return im


# Binary alpha (0 or 255): Pillow's own composition is exact for these.
ops_frames = [gradient(W, H, alpha=False).convert("RGBA"),
              frame_with_hole((200, 30, 30, 255), (4, 4, 12, 10)),
              frame_with_hole((30, 200, 30, 255), (10, 2, 20, 8)),
              frame_with_hole((30, 30, 200, 255), (0, 0, 6, 16)),
              solid((250, 250, 0, 255), (W, H))]
ops_frames[4].paste((0, 0, 0, 0), (0, 0, W, 12))
ops_frames[0].save(path("apng_ops.png"), save_all=True, append_images=ops_frames[1:], duration=100,
                   disposal=[0, 1, 2, 0, 0], blend=[0, 1, 1, 1, 1], default_image=False)
anim = Image.open(path("apng_ops.png"))
assert anim.n_frames == 5
for n in range(anim.n_frames):
    anim.seek(n)
    write_expected("apng_ops_f%d" % n, anim)
    check("apng_ops_f%d" % n, "apng_ops.png", "rgba", n)
anim.seek(0)
write_expected("apng_ops_past", anim)
check("apng_ops_past", "apng_ops.png", "rgba", 5)

# A default image that is not part of the animation: frames count from the
# first animation frame (Pillow counts the default image as its frame 0).
hidden = [solid((9, 9, 9, 255))] + ops_frames[:3]
hidden[0].save(path("apng_hidden.png"), save_all=True, append_images=hidden[1:], duration=100,
               disposal=[0, 1, 2, 0], blend=[0, 1, 1, 1], default_image=True)
anim = Image.open(path("apng_hidden.png"))
assert anim.n_frames == 4
for n in range(3):
    anim.seek(n + 1)
    write_expected("apng_hidden_f%d" % n, anim)
    check("apng_hidden_f%d" % n, "apng_hidden.png", "rgba", n)

# A large animation in a small file: two plain frames of 4000 x 4000, whose
# canvas, saved canvas and frame take 64 MB each while frames are composed.
big = [solid((10, 20, 30, 255), (4000, 4000)), solid((30, 20, 10, 255), (4000, 4000))]
big[0].save(path("apng_big.png"), save_all=True, append_images=big[1:], duration=100)
del big

# Palette frames are read as RGBA.
# One palette for every frame, made from all of them side by side.
strip = Image.new("RGB", (W * 3, H))
for i, f in enumerate(ops_frames[:3]):
    strip.paste(f.convert("RGB"), (W * i, 0))
shared = strip.quantize(64)
pal_frames = [f.convert("RGB").quantize(palette=shared, dither=0) for f in ops_frames[:3]]
pal_frames[0].save(path("apng_pal.png"), save_all=True, append_images=pal_frames[1:], duration=100,
                   disposal=0, blend=0)
anim = Image.open(path("apng_pal.png"))
for n in range(3):
    anim.seek(n)
    write_expected("apng_pal_f%d" % n, anim)
    check("apng_pal_f%d" % n, "apng_pal.png", "rgb", n)

# Translucent frames blended "over" a translucent canvas: Porter-Duff over as
# Pillow's alpha_composite does it (Pillow's APNG reader pastes instead).
t0 = gradient(W, H, alpha=True)
t1 = gradient(W, H, alpha=True).transpose(Image.ROTATE_180)
t0.save(path("apng_over.png"), save_all=True, append_images=[t1], duration=100, disposal=0, blend=[0, 1])
write_expected("apng_over_f1", Image.alpha_composite(t0, t1))
check("apng_over_f1", "apng_over.png", "rgba", 1, "-", 1)

# ---------------------------------------------------------------------------
# Icons.


def icon_entry_expected(name, ico, index):
    """The entry (1-based for icotool) as icotool extracts it, mask applied."""
    out = path(name + ".extract.png")
    run("icotool", "-x", "-i", str(index), "-o", out, path(ico))
    write_expected(name, Image.open(out))


a16 = gradient(16, 16, alpha=True).point(lambda v: v).convert("RGBA")
px = a16.load()
for y in range(16):
    for x in range(16):
        r, g, b, a = px[x, y]
        px[x, y] = (r, g, b, 0 if (x + 2 * y) % 7 == 0 else 255)
a16.save(path("a16.png"))
q32 = gradient(32, 32, alpha=True).convert("RGB").quantize(8).convert("RGBA")
q32.putalpha(Image.eval(gradient(32, 32).convert("L"), lambda v: 0 if v < 60 else 255))
q32.save(path("q32.png"))
c32 = gradient(32, 32, alpha=True)
c32.putalpha(Image.eval(c32.getchannel("A"), lambda v: 0 if v < 40 else v))
c32.save(path("c32.png"))
c48 = gradient(48, 48, alpha=True)
c48.save(path("c48.png"))
run("icotool", "-c", "-o", path("multi.ico"), "-b", "8", path("a16.png"), "-b", "4", path("q32.png"),
    "-b", "24", path("c32.png"), "-b", "32", path("c32.png"), "-r", path("c48.png"))
listing = run("icotool", "-l", path("multi.ico")).decode()
assert listing.count("--index=") == 5, listing
assert "--index=2 --width=32 --height=32 --bit-depth=4" in listing, listing
for i, bits in enumerate((8, 4, 24, 32, 32)):
    name = "multi_%d" % i
    icon_entry_expected(name, "multi.ico", i + 1)
    check(name, "multi.ico", "rgba" if bits == 32 else "rgb", i)
    if bits in (4, 8, 24):
        check(name + "_mask", "multi.ico", "rgba", i, "mask")
        os.link(path(name + ".rgba"), path(name + "_mask.rgba"))
# The richest entry: (8, 16, 16), not (4, 32, 32), then (24, 32, 32), (32, 32, 32)
# and the PNG (32, 48, 48).
check("multi_best", "multi.ico", "rgba", 0, "best")
os.link(path("multi_4.rgba"), path("multi_best.rgba"))

bw = Image.new("RGBA", (33, 9))
px = bw.load()
for y in range(9):
    for x in range(33):
        px[x, y] = (255, 255, 255, 255) if (x * y) % 3 == 0 else (0, 0, 0, 255) if x % 4 else (0, 0, 0, 0)
bw.save(path("bw33.png"))
run("icotool", "-c", "-b", "1", "-o", path("bw33.ico"), path("bw33.png"))
icon_entry_expected("bw33", "bw33.ico", 1)
check("bw33", "bw33.ico", "rgb", 0)

q9 = gradient(9, 5).quantize(16).convert("RGBA")
q9.save(path("q9.png"))
run("convert", path("q9.png"), "-colors", "16", path("q9.ico"))
assert "--bit-depth=4" in run("icotool", "-l", path("q9.ico")).decode()
icon_entry_expected("q9", "q9.ico", 1)
check("q9", "q9.ico", "rgb", 0)
check("q9_mask", "q9.ico", "rgba", 0, "mask")
os.link(path("q9.rgba"), path("q9_mask.rgba"))
run("convert", path("c32.png"), path("im32.ico"))
icon_entry_expected("im32", "im32.ico", 1)
check("im32", "im32.ico", "rgba", 0)

with open(MANIFEST, "w") as f:
    f.write("\n".join(lines) + "\n")
