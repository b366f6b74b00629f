#!/usr/bin/env python3
"""The viewer's resource fragments are compiled as one file (resources/viewer.rc),
so an id name defined in two fragments must mean the same number, one number
must not name two dialogs or two strings, and no two string-table entries of
the fragments may carry one number."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
names = {}
problems = []
for header in sorted(root.glob("*.rh")):
    for line in header.read_text().splitlines():
        m = re.match(r"#define\s+(ID[A-Z]?_\w+)\s+(\d+)\s*$", line)
        if not m:
            continue
        name, value = m.group(1), int(m.group(2))
        if name in names and names[name][0] != value:
            problems.append(f"{name} is {names[name][0]} in {names[name][1]} and {value} in {header.name}")
        names.setdefault(name, (value, header.name))
for prefix in ("IDD_", "IDS_"):
    seen = {}
    for name, (value, header) in names.items():
        if name.startswith(prefix):
            if value in seen and seen[value] != name:
                problems.append(f"{prefix} number {value} names both {seen[value]} and {name}")
            seen.setdefault(value, name)


def viewer_lines(path):
    """The fragment's lines as viewer.rc compiles them (PV_VIEWER_RC defined)."""
    kept = []
    stack = []  # one flag per open conditional: are its lines compiled?
    for number, line in enumerate(path.read_text().splitlines(), 1):
        directive = re.match(r"\s*#\s*(ifdef|ifndef|if|else|endif)\b\s*(\w*)", line)
        if directive:
            word, name = directive.groups()
            if word == "ifdef":
                stack.append(name == "PV_VIEWER_RC")
            elif word == "ifndef":
                stack.append(name != "PV_VIEWER_RC")
            elif word == "if":
                stack.append(True)
            elif word == "else" and stack:
                stack[-1] = not stack[-1]
            elif word == "endif" and stack:
                stack.pop()
            continue
        if all(stack):
            kept.append((number, line))
    return kept


# Every string-table entry of viewer.exe: one number, one string.
strings = {}
for fragment in sorted(root.glob("*.rc")):
    inside = False
    for number, line in viewer_lines(fragment):
        word = line.strip()
        if word == "STRINGTABLE":
            inside = True
            continue
        if not inside or word == "BEGIN":
            continue
        if word == "END":
            inside = False
            continue
        m = re.match(r"(\w+)\s*,?\s*L?\"", word)
        if not m:
            continue
        key = m.group(1)
        value = int(key) if key.isdigit() else names.get(key, (None,))[0]
        where = f"{fragment.name}:{number}"
        if value is None:
            problems.append(f"{where}: string {key} has no number in the .rh files")
        elif value in strings:
            problems.append(f"string number {value} is given twice: {strings[value]} and {key} at {where}")
        else:
            strings[value] = f"{key} at {where}"

for p in problems:
    print(p)
sys.exit(1 if problems else 0)
