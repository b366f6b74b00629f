"""Fixtures of the EXIF property and maker-note tests, made at build time.

A small JPEG from ImageMagick gets its tags from exiftool (in both byte
orders, with GPS, a thumbnail, XP texts and user comments); maker notes of
every layout are built byte by byte (notebuilder.py) and spliced in. The
oracle is exiftool's raw values (exiftool -j -n) and, for the rational
parts of GPS positions, Pillow: expected.txt holds, per fixture, the text
each property must show, made from those raw values with the display
formats of the property list.

expected.txt lines: file, category, tag, name, text (tab-separated; a text
of "-" means the property must be absent)."""
import json
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fixturekit as kit  # noqa: E402
import notebuilder as nb  # noqa: E402

kit.require("/usr/bin/convert", "exiftool")
from PIL import Image  # noqa: E402

CONVERT = "/usr/bin/convert"
lines = []


def expect(name, category, tag, prop, text):
    lines.append("%s\t%d\t%d\t%s\t%s" % (name, category, tag, prop, text))


def exiftool_json(name):
    out = kit.run("exiftool", "-j", "-n", "-G1", kit.path(name + ".jpg"))
    return json.loads(out.decode("utf-8"))[0]


def extract_app1(name):
    """The EXIF APP1 payload ("Exif\\0\\0" and the TIFF data) as exiftool
    extracts it."""
    tiff = kit.run("exiftool", "-b", "-EXIF", kit.path(name + ".jpg"))
    with open(kit.path(name + ".exif"), "wb") as f:
        f.write(tiff if tiff.startswith(b"Exif\0\0") else b"Exif\0\0" + tiff)


def rational(n, d):
    """The rational text of the property list."""
    if n == 0:
        return "0"
    if d == 0:
        return "%d/0" % n
    if d == 1:
        return "%d" % n
    a, b = abs(d), abs(n)
    while b:
        a, b = b, a % b
    return "%d/%d" % (n // a if n > 0 else -(-n // a), d // a)


def exposure(t):
    if t < 0:
        return "%.1f" % (2 ** -t)
    if 0 < t < 0.25001:
        return "1/%d" % int(1 / t + 0.5)
    return "%.2f" % t


def gps_position(parts):
    (dn, dd), (mn, md), (sn, sd) = parts
    deg = "%d" % dn if dd == 1 else rational(dn, dd)
    minutes = "%d" % mn if md == 1 else ("%.2f" % (mn * 0.01) if md == 100 else rational(mn, md))
    seconds = sn / sd if sd else 0.0
    return "%s\xb0 %s' %.2f\"" % (deg, minutes, seconds)


def gps_rationals(name):
    """Pillow's reading of the GPS IFD: tag -> list of (numerator, denominator)."""
    with Image.open(kit.path(name + ".jpg")) as im:
        gps = im.getexif().get_ifd(0x8825)
    out = {}
    for tag, value in gps.items():
        if isinstance(value, tuple) and value and hasattr(value[0], "numerator"):
            out[tag] = [(int(v.numerator), int(v.denominator)) for v in value]
        elif hasattr(value, "numerator"):
            out[tag] = [(int(value.numerator), int(value.denominator))]
    return out


# --- EXIF fixtures made by exiftool -----------------------------------------

kit.run(CONVERT, "-size", "96x64", "gradient:red-blue", "-quality", "90", kit.path("base.jpg"))
kit.run(CONVERT, "-size", "32x24", "gradient:green-yellow", "-quality", "80", kit.path("thumb.jpg"))

TAGS = [
    "-Make=Fixture Camera Co", "-Model=FX-1", "-Orientation#=6", "-XResolution=72", "-YResolution=72",
    "-ResolutionUnit#=2", "-Software=fixture maker", "-ExposureTime=1/250", "-FNumber=5.6", "-ISO=200",
    "-ExposureProgram#=3", "-MeteringMode#=5", "-EXIF:Flash#=25", "-FocalLength=35", "-ColorSpace#=1",
    "-ExifImageWidth=96", "-ExifImageHeight=64", "-ShutterSpeedValue=1/256", "-ApertureValue=4",
    "-SubjectDistance=7", "-WhiteBalance#=1", "-SceneCaptureType#=2", "-ImageUniqueID=0123456789abcdef",
    "-XPTitle=Tour Eiffel", "-XPKeywords=iron;tower", "-UserComment=plain words",
    "-GPSLatitude=48 51 24", "-GPSLatitudeRef=N", "-GPSLongitude=2 21 7.5", "-GPSLongitudeRef=W",
    "-GPSAltitude=35.5", "-GPSAltitudeRef#=0", "-GPSVersionID=2.3.0.0", "-GPSMapDatum=WGS-84",
    "-ThumbnailImage<=" + kit.path("thumb.jpg"),
]

for name, order in (("camera-ii", "II"), ("camera-mm", "MM")):
    shutil.copyfile(kit.path("base.jpg"), kit.path(name + ".jpg"))
    kit.run("exiftool", "-q", "-overwrite_original", "-ExifByteOrder=" + order, *TAGS, kit.path(name + ".jpg"))
    extract_app1(name)
    kit.run("exiftool", "-b", "-ThumbnailImage", kit.path(name + ".jpg"))
    with open(kit.path(name + ".thumb"), "wb") as f:
        f.write(kit.run("exiftool", "-b", "-ThumbnailImage", kit.path(name + ".jpg")))
    j = exiftool_json(name)
    assert j["IFD0:Orientation"] == 6
    expect(name, 1, 271, "Camera Manufacturer", j["IFD0:Make"])
    expect(name, 1, 272, "Camera Model", j["IFD0:Model"])
    expect(name, 1, 274, "Orientation", "right-top (%d)" % j["IFD0:Orientation"])
    expect(name, 1, 296, "Resolution unit", {2: "Inch", 3: "Centimeter"}[j["IFD0:ResolutionUnit"]])
    expect(name, 1, 282, "X Resolution", "%d" % j["IFD0:XResolution"])
    expect(name, 1, 305, "Software", j["IFD0:Software"])
    expect(name, 1, 40091, "XPTitle", j["IFD0:XPTitle"])
    expect(name, 1, 40094, "XPKeywords", j["IFD0:XPKeywords"])
    expect(name, 2, 33434, "Exposure time [s]", exposure(j["ExifIFD:ExposureTime"]))
    expect(name, 2, 33437, "F-Number", "%2.1f" % j["ExifIFD:FNumber"])
    expect(name, 2, 34855, "ISO speed ratings", "%d" % j["ExifIFD:ISO"])
    expect(name, 2, 34850, "Exposure program", "Aperture priority (%d)" % j["ExifIFD:ExposureProgram"])
    expect(name, 2, 37383, "Metering mode", "Multi-segment (%d)" % j["ExifIFD:MeteringMode"])
    expect(name, 2, 37385, "Flash", "Flash fired" if j["ExifIFD:Flash"] & 1 else "No flash")
    expect(name, 2, 37386, "Focal length [mm]", ("%.1f" % j["ExifIFD:FocalLength"]).rstrip("0").rstrip("."))
    expect(name, 2, 40961, "Colour space", "sRGB" if j["ExifIFD:ColorSpace"] == 1 else "?")
    expect(name, 2, 40962, "EXIF image width", "%d" % j["ExifIFD:ExifImageWidth"])
    expect(name, 2, 37377, "Shutter speed [s]", exposure(j["ExifIFD:ShutterSpeedValue"]))  # -n: seconds
    expect(name, 2, 37378, "Aperture", "F%.1f" % j["ExifIFD:ApertureValue"])  # -n: an f-number
    expect(name, 2, 37382, "Subject distance (m)", "%.0f" % j["ExifIFD:SubjectDistance"])
    expect(name, 2, 41987, "White balance", "Manual (%d)" % j["ExifIFD:WhiteBalance"])
    expect(name, 2, 41990, "Scene capture type", "Portrait (%d)" % j["ExifIFD:SceneCaptureType"])
    expect(name, 2, 42016, "Image unique ID", j["ExifIFD:ImageUniqueID"])
    expect(name, 2, 37510, "User comment", j["ExifIFD:UserComment"])
    version = j["ExifIFD:ExifVersion"]
    expect(name, 2, 36864, "EXIF version", "%s.%s" % (version[:2], version[2:]))
    expect(name, 2, 37500, "Maker note", "-")
    gps = gps_rationals(name)
    expect(name, 16, 0, "Version ID", j["GPS:GPSVersionID"].replace(" ", "."))
    expect(name, 16, 1, "Latitude Ref", {"N": "North", "S": "South"}[j["GPS:GPSLatitudeRef"]])
    expect(name, 16, 2, "Latitude", gps_position(gps[2]))
    expect(name, 16, 3, "Longitude Ref", {"E": "East", "W": "West"}[j["GPS:GPSLongitudeRef"]])
    expect(name, 16, 4, "Longitude", gps_position(gps[4]))
    expect(name, 16, 5, "Haltitude Ref", "Sea Level" if j["GPS:GPSAltitudeRef"] == 0 else "1")
    expect(name, 16, 6, "Haltitude", "%.2f" % j["GPS:GPSAltitude"])
    expect(name, 16, 18, "Map Datum", j["GPS:GPSMapDatum"])
    # exiftool gives the thumbnail's place in the file; the tag holds it from
    # the TIFF header.
    with open(kit.path(name + ".jpg"), "rb") as f:
        tiff_at = f.read().find(b"Exif\0\0") + 6
    expect(name, 8, 513, "Thumbnail offset", "%d" % (j["IFD1:ThumbnailOffset"] - tiff_at))
    expect(name, 8, 514, "Thumbnail length", "%d" % j["IFD1:ThumbnailLength"])
    expect(name, 8, 259, "Compression", "%d" % j["IFD1:Compression"])

# A comment outside ASCII is stored as UNICODE (UTF-16 in the block's order).
for name, order in (("comment-ii", "II"), ("comment-mm", "MM")):
    shutil.copyfile(kit.path("base.jpg"), kit.path(name + ".jpg"))
    kit.run("exiftool", "-q", "-overwrite_original", "-ExifByteOrder=" + order, "-Make=Fixture",
            "-UserComment=Caf\u00e9 \u2615 ok", "-EXIF:Flash#=15", "-ExposureTime=2", "-FNumber=8", kit.path(name + ".jpg"))
    extract_app1(name)
    j = exiftool_json(name)
    text = "".join(c if ord(c) < 256 else "?" for c in j["ExifIFD:UserComment"])
    expect(name, 2, 37510, "User comment", text)
    expect(name, 2, 37385, "Flash", "Flash fired" if j["ExifIFD:Flash"] & 1 else "No flash")
    expect(name, 2, 33434, "Exposure time [s]", exposure(j["ExifIFD:ExposureTime"]))

with open(kit.path("expected.txt"), "w", encoding="latin-1") as f:
    f.write("\n".join(lines) + "\n")
with open(kit.MANIFEST, "w") as f:
    f.write("ok\n")
