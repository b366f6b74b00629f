#!/usr/bin/python3
"""Makes the pictures and the sound that the album and slideshow tests pack:
solid-coloured JPEGs written by Pillow (so a screenshot can tell them
apart), a grey JPEG, a palette GIF, a camera-proportioned JPEG larger than
every box, a file that is no picture, and a short wave file written by
Python's wave module.

    make_fixtures.py OUTPUT_FOLDER
"""
import io
import os
import sys
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import fixturekit as kit  # noqa: E402
from PIL import Image  # noqa: E402

PICTURES = [
    # name, mode, size, colour
    ("red.jpg", "RGB", (80, 60), (230, 20, 20)),
    ("green.jpg", "RGB", (60, 80), (20, 200, 40)),
    ("blue.jpg", "RGB", (64, 48), (30, 40, 220)),
    ("grey.jpg", "L", (40, 30), 128),
    ("wide.jpg", "RGB", (1600, 1200), (200, 180, 40)),
]

for name, mode, size, colour in PICTURES:
    Image.new(mode, size, colour).save(kit.path(name), quality=95)

Image.new("CMYK", (16, 8), (0, 200, 200, 0)).save(kit.path("cmyk.jpg"), quality=95)
# A busy picture cut in the middle of its scan data.
noisy = io.BytesIO()
Image.effect_noise((96, 96), 60).convert("RGB").save(noisy, "JPEG", quality=95)
whole = noisy.getvalue()
sos = whole.index(b"\xff\xda")
with open(kit.path("cut.jpg"), "wb") as f:
    f.write(whole[: sos + (len(whole) - sos) // 2])

# A small progressive picture, and the same bytes declaring 6000 x 6000: the
# player would keep 72 MB of coefficients beside a 36 MB picture for it.
progressive = io.BytesIO()
Image.new("L", (64, 64), 128).save(progressive, "JPEG", quality=90, progressive=True)
with open(kit.path("progressive.jpg"), "wb") as f:
    f.write(progressive.getvalue())
with open(kit.path("declares-6000.jpg"), "wb") as f:
    f.write(kit.jpeg_declaring(progressive.getvalue(), 6000, 6000))

# Smooth gradients at camera size, for the quality of the reduced decode.
grad = Image.merge("RGB", (Image.linear_gradient("L").resize((1600, 1200)),
                           Image.linear_gradient("L").rotate(90).resize((1600, 1200)),
                           Image.new("L", (1600, 1200), 90)))
grad.save(kit.path("gradient.jpg"), quality=92)

# Low contrast: every channel between 100 and 150.
dim = Image.new("RGB", (64, 16))
dim.putdata([(100 + x * 50 // 63, 100 + x * 50 // 63, 120) for y in range(16) for x in range(64)])
dim.save(kit.path("dim.png"))

# A camera picture held sideways: stored 640 x 320, red left and blue right,
# with EXIF orientation 6 (turn right to view), so upright it is 320 x 640
# with red on top.
sideways = Image.new("RGB", (640, 320), (220, 30, 30))
sideways.paste((30, 30, 220), (320, 0, 640, 320))
exif = Image.Exif()
exif[0x0112] = 6
sideways.save(kit.path("sideways.jpg"), quality=95, exif=exif.tobytes())

gif = Image.new("P", (32, 24), 1)
gif.putpalette([0, 0, 0, 250, 120, 0] + [0] * (254 * 3))
gif.save(kit.path("orange.gif"))

with open(kit.path("notapicture.jpg"), "wb") as f:
    f.write(b"this is not a JPEG file\n")

with wave.open(kit.path("tone.wav"), "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(1)
    w.setframerate(8000)
    w.writeframes(bytes((128 + (40 if (i // 10) % 2 else -40)) for i in range(800)))

with open(kit.MANIFEST, "w") as f:
    for name, *_ in PICTURES:
        f.write(name + "\n")
    f.write("orange.gif\nnotapicture.jpg\ntone.wav\ncmyk.jpg\ncut.jpg\ndim.png\ngradient.jpg\n")
