"""What every make_fixtures.py shares: the output folder named on the command
line, its manifest, a way to give up politely when a tool is missing (the
tests then skip and say why), running the tools, and the expected-pixels
files the tests compare against.

Import it after putting this folder on sys.path; it reads sys.argv[1]."""
import os
import shutil
import struct
import subprocess
import sys

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)
MANIFEST = os.path.join(OUT, "manifest.txt")


def skip(reason):
    """Writes a manifest that tells the tests why they skip, and stops."""
    with open(MANIFEST, "w") as f:
        f.write("skip %s\n" % reason)
    sys.exit(0)


def require(*tools):
    for tool in tools:
        if not (os.path.exists(tool) if os.path.isabs(tool) else shutil.which(tool)):
            skip("%s is not installed" % tool)


def path(name):
    return os.path.join(OUT, name)


def run(*args, stdin=None):
    """The tool's standard output; a failing tool stops the script."""
    return subprocess.run(args, check=True, input=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL).stdout



def write_expected(name, w, h, rgba):
    """NAME.rgba: width and height as two little-endian 32-bit words, then
    w x h pixels of R, G, B, A."""
    assert len(rgba) == w * h * 4, name
    with open(path(name + ".rgba"), "wb") as f:
        f.write(struct.pack("<II", w, h) + bytes(rgba))


def jpeg_declaring(data, width, height):
    """The JPEG `data` with its frame header claiming width x height: a file
    of a few hundred bytes whose scans hold far less than it declares, as a
    hostile file would be."""
    data = bytearray(data)
    at = 2
    while at + 4 <= len(data) and data[at] == 0xFF:
        marker = data[at + 1]
        length = struct.unpack(">H", data[at + 2:at + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            data[at + 5:at + 9] = struct.pack(">HH", height, width)
            return bytes(data)
        at += 2 + length
    raise SystemExit("no frame header in the JPEG")
