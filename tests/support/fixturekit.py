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
