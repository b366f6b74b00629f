"""Builds EXIF APP1 blocks with camera maker notes of every layout, byte by
byte, for the maker-note tests (exiftool then reads them as the oracle).

An entry is (tag, type, values): values a list of numbers, or bytes for
ASCII and UNDEFINED. Out-of-line values follow the IFD; their offsets count
from `origin` (a TIFF offset, or 0 within the note's own TIFF header)."""
import struct

SIZES = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8}
FORMS = {1: "B", 3: "H", 4: "I", 6: "b", 8: "h", 9: "i", 11: "f", 12: "d"}


def value_bytes(typ, values, big):
    e = ">" if big else "<"
    if isinstance(values, (bytes, bytearray)):
        return bytes(values)
    if typ in (5, 10):
        form = "I" if typ == 5 else "i"
        return b"".join(struct.pack(e + form + form, n, d) for n, d in values)
    return b"".join(struct.pack(e + FORMS[typ], v) for v in values)


def ifd(entries, big, at, origin, next_ifd=0):
    """An IFD placed at `at` (in the same coordinates as `origin`), with its
    out-of-line values right after it."""
    e = ">" if big else "<"
    entries = sorted(entries, key=lambda x: x[0])
    head = struct.pack(e + "H", len(entries))
    data = b""
    data_at = at + 2 + 12 * len(entries) + 4
    for tag, typ, values in entries:
        raw = value_bytes(typ, values, big)
        count = len(raw) // SIZES[typ]
        if len(raw) <= 4:
            field = raw.ljust(4, b"\0")
        else:
            if len(data) % 2:
                data += b"\0"
            field = struct.pack(e + "I", data_at + len(data) - origin)
            data += raw
        head += struct.pack(e + "HHI", tag, typ, count) + field
    return head + struct.pack(e + "I", next_ifd) + data


def exif_block(make, model, note_at_fn, big=False):
    """An APP1 payload: IFD0 (make, model, Exif pointer), the Exif IFD with
    the maker note, whose bytes note_at_fn(M) makes for TIFF offset M."""
    e = ">" if big else "<"
    make_b = make.encode() + b"\0"
    model_b = model.encode() + b"\0"
    ifd0_at = 8
    # IFD0: 3 entries; its values follow it (the length does not depend on
    # the pointer's value).
    ifd0_len = len(ifd([(271, 2, make_b), (272, 2, model_b), (34665, 4, [0])], big, ifd0_at, 0))
    exif_at = ifd0_at + ifd0_len
    exif_len = 2 + 12 * 1 + 4
    note_at = exif_at + exif_len
    note = note_at_fn(note_at)
    ifd0_bytes = ifd([(271, 2, make_b), (272, 2, model_b), (34665, 4, [exif_at])], big, ifd0_at, 0)
    assert len(ifd0_bytes) == ifd0_len, (len(ifd0_bytes), ifd0_len)
    exif_bytes = ifd([(37500, 7, note)], big, exif_at, 0)
    tiff = (b"MM\0*" if big else b"II*\0") + struct.pack(e + "I", ifd0_at) + ifd0_bytes + exif_bytes
    assert len(tiff) == note_at + len(note)
    return b"Exif\0\0" + tiff


def jpeg_with_app1(jpeg, app1):
    """The JPEG with the APP1 segment right after SOI."""
    assert jpeg[:2] == b"\xff\xd8"
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(app1) + 2) + app1 + jpeg[2:]
