#!/usr/bin/python3
"""Makes the metadata tests' JPEG fixtures into a folder.

Writers: ImageMagick (the pictures), exiftool (EXIF, IPTC with UTF-8
marking, orientation and thumbnails), jpegtran (progressive, grey, 4:4:4)
and a few lines here that splice APP13 and APP14 segments in. The tests
ask exiftool, exiv2, jpegtran and ImageMagick about what our code writes.

Usage: make_fixtures.py OUTDIR
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import fixturekit as kit  # noqa: E402

CONVERT = "/usr/bin/convert"
EXIFTOOL = "/usr/bin/exiftool"


def picture(name, size, extra=()):
    kit.run(CONVERT, "-size", size, "plasma:fractal", "-seed", "7", *extra, kit.path(name))


def exiftool(name, *args):
    kit.run(EXIFTOOL, "-q", "-overwrite_original", *args, kit.path(name))


def segments(data):
    """(marker, start, end) of the segments before the scan."""
    out = []
    pos = 2
    while pos + 4 <= len(data) and data[pos] == 0xFF and data[pos + 1] not in (0xDA, 0xD9):
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        out.append((data[pos + 1], pos, pos + 2 + length))
        pos += 2 + length
    return out


def without_appn(data):
    """The stream with every APPn segment left out."""
    keep = bytearray(data[:2])
    pos = 2
    for marker, start, end in segments(data):
        if not 0xE0 <= marker <= 0xEF:
            keep += data[start:end]
        pos = end
    return bytes(keep + data[pos:])


def insert_after_soi(data, segment):
    return data[:2] + segment + data[2:]


def resource(rid, name, payload):
    """A Photoshop image resource with a padded name and padded data."""
    n = bytes([len(name)]) + name
    if len(n) % 2:
        n += b"\0"
    body = b"8BIM" + struct.pack(">H", rid) + n + struct.pack(">I", len(payload)) + payload
    return body + (b"\0" if len(payload) % 2 else b"")


def app(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


# (reference, source, jpegtran options): the transforms the tests compare
# our scan data with.
REFERENCES = [
    ("ref-p420-rot90-trim.jpg", "p420.jpg", ("-rotate", "90", "-trim")),
    ("ref-p420-rot270-trim.jpg", "p420.jpg", ("-rotate", "270", "-trim")),
    ("ref-p420-crop.jpg", "p420.jpg", ("-crop", "32x32+16+16")),
    ("ref-p420-copy.jpg", "p420.jpg", ()),
    ("ref-p444-rot180-trim.jpg", "p444.jpg", ("-rotate", "180", "-trim")),
    ("ref-p444-fliph-trim.jpg", "p444.jpg", ("-flip", "horizontal", "-trim")),
    ("ref-p444-flipv-trim.jpg", "p444.jpg", ("-flip", "vertical", "-trim")),
    ("ref-grey-rot90-trim.jpg", "grey.jpg", ("-rotate", "90", "-trim")),
    ("ref-exif-rot90.jpg", "exif-mm.jpg", ("-rotate", "90", "-perfect")),
    ("ref-thumb-rot90.jpg", "thumb.jpg", ("-rotate", "90", "-trim")),
]


def main():
    kit.run(CONVERT, "-version")  # a missing tool fails the build here
    # A camera-like picture: JFIF APP0 and EXIF APP1, no APP13.
    picture("camera.jpg", "64x48")
    exiftool("camera.jpg", "-Make=Testmaker", "-Model=T1", "-Orientation#=6")

    # IPTC written by exiftool: UTF-8 marked, a list, repeats and an accent.
    picture("iptc.jpg", "40x30")
    exiftool("iptc.jpg", "-IPTC:CodedCharacterSet=UTF8", "-IPTC:Keywords=sea", "-IPTC:Keywords=sand",
             "-IPTC:Keywords=sun", "-IPTC:Caption-Abstract=Caf\u00e9 au lait", "-IPTC:By-line=Ann",
             "-IPTC:By-line=Bob", "-IPTC:ObjectName=Title")

    # An APP13 with a resolution resource (0x03ED) before the IPTC one.
    with open(kit.path("camera.jpg"), "rb") as f:
        base = f.read()
    iim = b"\x1c\x02\x05\x00\x03Old"
    res = resource(0x03ED, b"", struct.pack(">IHHIHH", 72 << 16, 1, 1, 72 << 16, 1, 1)) + \
        resource(0x0404, b"ab", iim)
    with open(kit.path("photoshop.jpg"), "wb") as f:
        f.write(insert_after_soi(base, app(0xED, b"Photoshop 3.0\0" + res)))

    # An APP13 that is no Photoshop resource list (kept as it is).
    app1_end = segments(base)[1][2]
    with open(kit.path("app13-other.jpg"), "wb") as f:
        f.write(base[:app1_end] + app(0xED, b"Adobe_CM\0\x01\x02") + base[app1_end:])

    # An Adobe APP14 and no APP13.
    adobe = app(0xEE, b"Adobe\0\x64\0\0\0\0\x01")
    stripped = without_appn(base)
    with open(kit.path("app14.jpg"), "wb") as f:
        f.write(insert_after_soi(stripped, adobe))
    # No APPn at all, baseline; and progressive.
    with open(kit.path("bare.jpg"), "wb") as f:
        f.write(stripped)
    kit.run("jpegtran", "-progressive", "-outfile", kit.path("progressive-tmp.jpg"), kit.path("bare.jpg"))
    with open(kit.path("progressive-tmp.jpg"), "rb") as f:
        progressive = without_appn(f.read())
    os.remove(kit.path("progressive-tmp.jpg"))
    with open(kit.path("progressive.jpg"), "wb") as f:
        f.write(progressive)

    # EXIF with Orientation 6 and a 32x24 thumbnail, in both byte orders;
    # and a second thumbnail to put in place of the first.
    picture("thumb-small.jpg", "24x16", ("-quality", "60"))
    picture("thumb.jpg", "32x24", ("-quality", "90"))
    for order, name in (("II", "exif-ii.jpg"), ("MM", "exif-mm.jpg")):
        picture(name, "96x64", ("-strip",))
        exiftool(name, "-ExifByteOrder=" + order, "-Orientation#=6", "-Make=Testmaker",
                 "-ExposureTime=1/125", "-ExifImageWidth=96", "-ExifImageHeight=64",
                 "-ThumbnailImage<=" + kit.path("thumb.jpg"))

    # Lossless transforms: 4:2:0, 4:4:4 and grey pictures whose size is no
    # multiple of the block size, a cut file, and jpegtran's answers.
    picture("p420.jpg", "100x75", ("-sampling-factor", "2x2", "-quality", "85"))
    picture("p444.jpg", "100x75", ("-sampling-factor", "1x1", "-quality", "85"))
    picture("grey.jpg", "100x75", ("-colorspace", "Gray", "-quality", "85"))
    with open(kit.path("p420.jpg"), "rb") as f:
        whole = f.read()
    with open(kit.path("truncated.jpg"), "wb") as f:
        f.write(whole[:len(whole) // 2])
    # A progressive grey picture of 4096 x 5120: 40 MB of coefficients, and
    # as much again for a quarter turn's copy of them.
    kit.run(CONVERT, "-size", "4096x5120", "xc:gray50", "-colorspace", "Gray", "-interlace", "JPEG",
            kit.path("progressive-big.jpg"))
    for ref, source, args in REFERENCES:
        kit.run("jpegtran", "-copy", "all", "-optimize", *args, "-outfile", kit.path(ref), kit.path(source))

    with open(kit.MANIFEST, "w") as f:
        f.write("ok\n")


main()
