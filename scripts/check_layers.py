#!/usr/bin/python3
"""Checks that calls run one way between the source folders.

Every folder has a layer; a file may include headers of its own folder and of
folders in lower layers only, and a CMake target may link targets of its own
folder and of lower folders only. Folders in one layer are independent of
each other. tests/, bench/ and fuzz/ sit above everything and are not checked.

Usage: check_layers.py [source root]   (exit 1 and one line per fault)
"""

import os
import re
import sys

# Lowest first; the folders of one row do not reach each other.
LAYERS = [
    ["resources"],
    ["imagelib"],
    ["processing", "zip", "platform"],
    ["display"],
    ["shell"],
    ["tools", "player"],
    ["app"],
]

SOURCE_SUFFIXES = (".c", ".cpp", ".h", ".rc", ".rh")
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*"([^"]+)"', re.M)
# add_library(name ...) / add_executable(name ...) and
# target_link_libraries(name [PUBLIC|PRIVATE|INTERFACE] items...)
ADD_TARGET = re.compile(r"\badd_(?:library|executable)\s*\(\s*([\w.-]+)")
LINK = re.compile(r"\btarget_link_libraries\s*\(\s*([\w.-]+)([^)]*)\)", re.S)


def layer_of(folder):
    for rank, row in enumerate(LAYERS):
        if folder in row:
            return rank
    return None


def may_use(user, used):
    """Whether code of folder `user` may reach folder `used`."""
    if user == used:
        return True
    a, b = layer_of(user), layer_of(used)
    return a is not None and b is not None and b < a


def top_folder(root, path):
    rel = os.path.relpath(path, root).replace(os.sep, "/")
    return rel.split("/", 1)[0] if "/" in rel else None


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def included_path(root, including, name):
    """The file an #include "name" in `including` reaches: beside the including
    file first, then from the source root (the include path of every target)."""
    beside = os.path.normpath(os.path.join(os.path.dirname(including), name))
    if os.path.exists(beside):
        return beside
    return os.path.normpath(os.path.join(root, name))


def source_folders(root):
    return [f for row in LAYERS for f in row if os.path.isdir(os.path.join(root, f))]


def check_includes(root):
    faults = []
    for folder in source_folders(root):
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for file in sorted(files):
                if not file.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(directory, file)
                with open(path, encoding="utf-8", errors="replace") as f:
                    text = strip_comments(f.read())
                for match in INCLUDE.finditer(text):
                    target = included_path(root, path, match.group(1))
                    used = top_folder(root, target)
                    if used is None or layer_of(used) is None:
                        continue
                    if not may_use(folder, used):
                        line = text.count("\n", 0, match.start()) + 1
                        faults.append("%s:%d: includes %s: %s may not use %s" % (
                            os.path.relpath(path, root), line, match.group(1), folder, used))
    return faults


def check_links(root):
    targets = {}
    links = []
    for folder in source_folders(root):
        lists = os.path.join(root, folder, "CMakeLists.txt")
        if not os.path.exists(lists):
            continue
        with open(lists, encoding="utf-8") as f:
            text = re.sub(r"#[^\n]*", "", f.read())
        for match in ADD_TARGET.finditer(text):
            targets[match.group(1)] = folder
        for match in LINK.finditer(text):
            items = [i for i in match.group(2).split() if i not in ("PUBLIC", "PRIVATE", "INTERFACE")]
            links.append((folder, match.group(1), items))
    faults = []
    for folder, target, items in links:
        for item in items:
            used = targets.get(item)
            if used is not None and not may_use(folder, used):
                faults.append("%s/CMakeLists.txt: %s links %s: %s may not use %s" % (
                    folder, target, item, folder, used))
    return faults


def main(argv):
    root = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    faults = check_includes(root) + check_links(root)
    for fault in faults:
        print(fault)
    if faults:
        print("layers: %d upward or sideways uses; the order is %s" % (
            len(faults), " < ".join(", ".join(row) for row in LAYERS)))
        return 1
    print("layers: every include and link goes down")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
