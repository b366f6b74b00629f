#!/usr/bin/python3
"""Makes the JPEG reader's fixtures and their oracle answers into a folder.

Writers: cjpeg, jpegtran, wrjpgcom (libjpeg-turbo's tools), ImageMagick
(CMYK), exiftool (EXIF thumbnail, orientation, XMP, IPTC, JFIF density) and
Pillow (a profile split over several APP2 markers). Oracles: djpeg with the
options of each load (same library, so bit-exact), Pillow for CMYK samples,
identify -format %Q for the quality estimate, exiftool -b for the kept
metadata bytes, rdjpgcom for comments.

Runs on the build host at build time, so the Win64 tests under Wine read the
same files. Usage: make_fixtures.py OUTDIR
"""
import os
import shutil
import subprocess
import sys

from PIL import Image, ImageCms

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from fixturekit import jpeg_declaring  # noqa: E402

OUT = sys.argv[1]
CONVERT = "/usr/bin/convert"   # ImageMagick itself, whatever PATH holds


def path(name):
    return os.path.join(OUT, name)


def run(args, out=None, ok=(0,)):
    """Runs a tool; `ok` lists the exit codes that count as success (djpeg
    answers 2 when it warned, as on a cut file)."""
    quiet = subprocess.DEVNULL if 2 in ok else None
    if out is None:
        code = subprocess.run(args, stdout=subprocess.DEVNULL, stderr=quiet).returncode
    else:
        with open(path(out), "wb") as f:
            code = subprocess.run(args, stdout=f, stderr=quiet).returncode
    if code not in ok:
        raise SystemExit("%s failed with %d" % (args[0], code))


def capture(args):
    return subprocess.run(args, check=True, stdout=subprocess.PIPE).stdout


def make_picture(width, height, seed):
    """A deterministic picture with gradients and texture, so every DCT
    coefficient and both chroma planes carry something."""
    img = Image.new("RGB", (width, height))
    px = img.load()
    for y in range(height):
        for x in range(width):
            n = (x * 7919 + y * 104729 + seed * 31) % 251
            px[x, y] = ((x * 255 // width + n // 8) % 256,
                        (y * 255 // height + (x ^ y) % 37) % 256,
                        ((x + y + seed * 40) * 3 + n // 4) % 256)
    return img


def cjpeg(src, dst, *opts):
    run(["cjpeg", *opts, "-outfile", path(dst), path(src)])


def djpeg(src, dst, *opts, ok=(0,)):
    run(["djpeg", "-pnm", *opts, "-outfile", path(dst), path(src)], ok=ok)


def exiftool(src, dst, *args):
    shutil.copyfile(path(src), path(dst))
    run(["exiftool", "-q", "-overwrite_original", *args, path(dst)])


def main():
    os.makedirs(OUT, exist_ok=True)
    make_picture(333, 251, 1).save(path("base.ppm"))
    make_picture(160, 120, 2).save(path("thumb.ppm"))
    make_picture(64, 48, 3).save(path("tiny.ppm"))

    # Decoder variants of one picture.
    cjpeg("base.ppm", "baseline.jpg", "-quality", "85")
    cjpeg("base.ppm", "progressive.jpg", "-quality", "85", "-progressive")
    cjpeg("base.ppm", "grey.jpg", "-quality", "85", "-grayscale")
    cjpeg("base.ppm", "restart.jpg", "-quality", "85", "-restart", "1")
    cjpeg("base.ppm", "optimised.jpg", "-quality", "85", "-optimize")
    cjpeg("base.ppm", "h1v1.jpg", "-quality", "85", "-sample", "1x1")
    run(["jpegtran", "-progressive", "-outfile", path("grey-progressive.jpg"), path("grey.jpg")])
    decoded = ["baseline", "progressive", "grey", "restart", "optimised", "h1v1", "grey-progressive"]
    for name in decoded:
        djpeg(name + ".jpg", name + ".full.pnm")
        for n in (1, 2, 4, 8):
            djpeg(name + ".jpg", "%s.fast%d.pnm" % (name, n), "-dct", "fast", "-nosmooth", "-scale", "1/%d" % n)

    # A camera-sized picture for the choice of the DCT scale.
    ramp = Image.linear_gradient("L").resize((3264, 2448))
    Image.merge("RGB", (ramp, ramp.transpose(Image.Transpose.FLIP_LEFT_RIGHT), ramp.rotate(90))).save(path("camera.ppm"))
    cjpeg("camera.ppm", "camera.jpg", "-quality", "75")
    os.remove(path("camera.ppm"))
    djpeg("camera.jpg", "camera.fast4.pnm", "-dct", "fast", "-nosmooth", "-scale", "1/4")

    # Files whose scans are all read before the first row, cut inside their
    # scan data: libjpeg's recovery decodes what is there.
    for name in ("progressive", "grey-progressive"):
        data = open(path(name + ".jpg"), "rb").read()
        with open(path(name + ".cut.jpg"), "wb") as f:
            f.write(data[:len(data) * 6 // 10])
        djpeg(name + ".cut.jpg", name + ".cut.pnm", ok=(0, 2))

    # CMYK as ImageMagick writes it (inverted samples, Adobe marker); Pillow
    # reads the true CMYK samples.
    run([CONVERT, path("base.ppm"), "-colorspace", "CMYK", "-quality", "90", path("cmyk.jpg")])
    with Image.open(path("cmyk.jpg")) as im:
        assert im.mode == "CMYK"
        with open(path("cmyk.samples"), "wb") as f:
            f.write(im.tobytes())

    # JFIF densities.
    exiftool("baseline.jpg", "density-cm.jpg", "-JFIF:ResolutionUnit=cm", "-JFIF:XResolution=118",
             "-JFIF:YResolution=47")
    exiftool("baseline.jpg", "density-in.jpg", "-JFIF:ResolutionUnit=inches", "-JFIF:XResolution=200",
             "-JFIF:YResolution=1")

    # EXIF thumbnails: a colour one of 160x120, a grey one of 64x48.
    cjpeg("thumb.ppm", "thumb.jpg", "-quality", "80")
    cjpeg("tiny.ppm", "tiny.jpg", "-quality", "80", "-grayscale")
    exiftool("baseline.jpg", "exif-thumb.jpg", "-Orientation#=6", "-Make=Fixture", "-ThumbnailImage<=" + path("thumb.jpg"))
    exiftool("baseline.jpg", "exif-tiny.jpg", "-ThumbnailImage<=" + path("tiny.jpg"))
    exiftool("progressive.jpg", "exif-thumb-progressive.jpg", "-ThumbnailImage<=" + path("thumb.jpg"))
    run(["exiftool", "-b", "-ThumbnailImage", path("exif-thumb.jpg")], "exif-thumb.extracted.jpg")
    djpeg("exif-thumb.extracted.jpg", "exif-thumb.thumb.pnm", "-dct", "fast", "-nosmooth")
    djpeg("exif-thumb.extracted.jpg", "exif-thumb.thumbslow.pnm")
    run(["exiftool", "-b", "-ThumbnailImage", path("exif-tiny.jpg")], "exif-tiny.extracted.jpg")
    djpeg("exif-tiny.extracted.jpg", "exif-tiny.thumb.pnm", "-dct", "fast", "-nosmooth")
    for name in ("exif-thumb", "exif-tiny", "exif-thumb-progressive"):
        for n in (1, 2, 4, 8):
            djpeg(name + ".jpg", "%s.fast%d.pnm" % (name, n), "-dct", "fast", "-nosmooth", "-scale", "1/%d" % n)

    # Metadata: EXIF, XMP, IPTC, an ICC profile and two comments.
    srgb = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
    Image.open(path("base.ppm")).save(path("meta-base.jpg"), quality=85, icc_profile=srgb)
    exiftool("meta-base.jpg", "meta.jpg", "-EXIF:Artist=Fixture Artist", "-XMP-dc:Title=Fixture Title",
             "-IPTC:Keywords=first", "-IPTC:Keywords=second", "-Comment=first comment")
    run(["wrjpgcom", "-comment", "second comment", path("meta.jpg")], "meta2.jpg")
    os.replace(path("meta2.jpg"), path("meta.jpg"))
    run(["exiftool", "-b", "-EXIF", path("meta.jpg")], "meta.exif")
    run(["exiftool", "-b", "-XMP", path("meta.jpg")], "meta.xmp")
    run(["exiftool", "-b", "-ICC_Profile", path("meta.jpg")], "meta.icc")
    run(["exiftool", "-b", "-IPTC", path("meta.jpg")], "meta.iptc")
    run(["rdjpgcom", path("meta.jpg")], "meta.comments")

    # A profile too large for one marker: Pillow splits it over APP2 chunks.
    big = bytes((i * 131 + (i >> 8) * 17) % 256 for i in range(150000))
    Image.open(path("tiny.ppm")).save(path("icc-chunks.jpg"), quality=85, icc_profile=big)
    # (exiftool warns that the made-up profile's length field is wrong.)
    run(["exiftool", "-q", "-q", "-b", "-ICC_Profile", path("icc-chunks.jpg")], "icc-chunks.icc")

    # Memory: progressive files keep every coefficient until their last scan.
    # A few hundred bytes declaring 7000 x 7000 grey (98 MB of coefficients),
    # a valid 4096 x 4096 grey one (32 MB of coefficients, 16 MB of picture),
    # and the small file carrying the large one as its EXIF thumbnail.
    Image.new("L", (64, 64), 128).save(path("small-progressive.jpg"), quality=90, progressive=True)
    with open(path("small-progressive.jpg"), "rb") as f:
        small = f.read()
    with open(path("declares-7000.jpg"), "wb") as f:
        f.write(jpeg_declaring(small, 7000, 7000))
    Image.new("L", (4096, 4096), 128).save(path("plain.pgm"))
    cjpeg("plain.pgm", "progressive-4096.jpg", "-grayscale", "-progressive")
    os.remove(path("plain.pgm"))
    exiftool("declares-7000.jpg", "thumbnail-declares-7000.jpg", "-ThumbnailImage<=" + path("declares-7000.jpg"))

    # Quality estimates, colour (two tables) and grey (one).
    lines = []
    for q in (25, 40, 50, 75, 90, 97, 100):
        for kind, opts in (("colour", []), ("grey", ["-grayscale"])):
            name = "q%d-%s.jpg" % (q, kind)
            cjpeg("tiny.ppm", name, "-quality", str(q), *opts)
            est = capture(["identify", "-format", "%Q", path(name)]).decode().strip()
            lines.append("%s %s\n" % (name, est))
    with open(path("quality.txt"), "w") as f:
        f.writelines(lines)

    with open(path("manifest.txt"), "w") as f:
        f.write("\n".join(sorted(os.listdir(OUT))) + "\n")


if __name__ == "__main__":
    main()
