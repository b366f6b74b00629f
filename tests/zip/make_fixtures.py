#!/usr/bin/python3
"""Makes the ZIP fixtures that the reader tests read back: archives written
by Info-ZIP zip (plain, with -P and behind a junk prefix) and by Python's
zipfile. Run with TZ pinned (the tests pin the same zone): zip stores local
times.

    make_fixtures.py OUTPUT_FOLDER

The contents follow the rules in zip_fixture_test.cpp: keep them in step.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

# 2009-06-30 07:15:36 UTC: an even second, so the DOS time is exact.
MTIME = 1246346136


def config_text():
    return b"#Trelmo Album\ncount = 2\n" * 40


def picture_bytes():
    return bytes((i * 31 + 7) & 0xFF for i in range(5000))


def make_tree(root):
    os.makedirs(os.path.join(root, "pics"))
    files = {
        "config": config_text(),
        os.path.join("pics", "a.bin"): picture_bytes(),
        "readonly.txt": b"do not touch\n",
        "empty.txt": b"",
    }
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    os.chmod(os.path.join(root, "readonly.txt"), 0o444)
    os.chmod(os.path.join(root, "pics"), 0o755)
    for name in list(files) + ["pics"]:
        os.utime(os.path.join(root, name), (MTIME, MTIME))


def info_zip(root, archive, extra_args):
    names = ["config", "pics/", "pics/a.bin", "readonly.txt", "empty.txt"]
    subprocess.run(["zip", "-q", "-D"] + extra_args + [archive] + names, cwd=root, check=True)
    # -D leaves folders out; add the folder entry on its own.
    subprocess.run(["zip", "-q"] + extra_args + [archive, "pics/"], cwd=root, check=True)


def python_zip(path):
    date_time = (2009, 6, 30, 10, 15, 36)
    with zipfile.ZipFile(path, "w") as z:
        def add(name, data, compress, system, attributes):
            info = zipfile.ZipInfo(name, date_time)
            info.compress_type = compress
            info.create_system = system
            info.external_attr = attributes
            z.writestr(info, data)
        add("stored.bin", picture_bytes(), zipfile.ZIP_STORED, 3, 0o100644 << 16)
        add("deflated.txt", config_text(), zipfile.ZIP_DEFLATED, 3, 0o100444 << 16)
        add("dos.txt", b"dos attributes\n", zipfile.ZIP_DEFLATED, 0, 0x21)
        add("folder/", b"", zipfile.ZIP_STORED, 3, (0o40755 << 16) | 0x10)
        add("caf\u00e9.txt", b"utf-8 name\n", zipfile.ZIP_DEFLATED, 3, 0o100644 << 16)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp()
    try:
        root = os.path.join(work, "tree")
        make_tree(root)
        plain = os.path.join(work, "infozip.zip")
        info_zip(root, plain, [])
        info_zip(root, os.path.join(work, "infozip_pw.zip"), ["-P", "secret"])
        with open(os.path.join(work, "junk.zip"), "wb") as f:
            f.write(b"junk before the archive " * 40)
            with open(plain, "rb") as z:
                f.write(z.read())
        python_zip(os.path.join(work, "python.zip"))
        for name in ["infozip.zip", "infozip_pw.zip", "junk.zip", "python.zip"]:
            shutil.copyfile(os.path.join(work, name), os.path.join(out, name))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
