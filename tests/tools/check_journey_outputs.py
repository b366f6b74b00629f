#!/usr/bin/python3
"""Checks what tools_journey_win_test's viewer wrote, with tools of this
machine.

    check_journey_outputs.py DEVICE_ROOT FIXTURES

rotated.jpg (the lossless quarter turn of camera4000.jpg, in place) must hold
jpegtran's own trimmed turn of the fixture pixel for pixel, at 2992 x 4000,
with its EXIF kept; iptc.jpg (the IPTC editor's write over iptc.jpg) must
hold the typed caption and every dataset the editor does not show, as
exiftool reads them. PV_DEVICE_ROOT, when set, names the device root instead.
"""
import os
import subprocess
import sys
import tempfile

root = os.environ.get("PV_DEVICE_ROOT") or sys.argv[1]
fixtures = sys.argv[2]
kept = os.path.join(root, "Temp", "tools_journey_outputs")
failures = []


def run(*args):
    return subprocess.run(args, check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT).stdout.decode()


def expect(what, got, want):
    if got != want:
        failures.append("%s: %r, expected %r" % (what, got, want))


rotated = os.path.join(kept, "rotated.jpg")
with tempfile.NamedTemporaryFile(suffix=".jpg") as reference:
    reference.write(subprocess.run(["jpegtran", "-copy", "all", "-rotate", "90", "-trim",
                                    os.path.join(fixtures, "camera4000.jpg")],
                                   check=True, stdout=subprocess.PIPE).stdout)
    reference.flush()
    differing = subprocess.run(["compare", "-metric", "AE", rotated, reference.name, "null:"],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT).stdout.decode().strip()
    expect("pixels differing from jpegtran's turn", differing, "0")
expect("rotated size", run("identify", "-format", "%wx%h", rotated), "2992x4000")
expect("rotated EXIF", run("exiftool", "-s3", "-Make", "-Model", rotated), "Testcam\nJourney\n")

iptc = os.path.join(kept, "iptc.jpg")
expect("IPTC datasets", run("exiftool", "-s", "-IPTC:ApplicationRecordVersion", "-IPTC:By-line", "-IPTC:Contact",
                            "-IPTC:ContentLocationName", "-IPTC:Keywords", "-IPTC:Caption-Abstract",
                            "-IPTC:OriginatingProgram", iptc),
       "ApplicationRecordVersion        : 4\n"
       "By-line                         : Ann, Bob\n"
       "Contact                         : Desk\n"
       "ContentLocationName             : Harbour\n"
       "Keywords                        : sea\n"
       "Caption-Abstract                : Boats at dawn\n"
       "OriginatingProgram              : Trelmo\n")

for failure in failures:
    print(failure)
print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
