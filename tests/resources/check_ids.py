#!/usr/bin/env python3
"""The viewer's resource fragments are compiled as one file (resources/viewer.rc),
so an id name defined in two fragments must mean the same number, and one number
must not name two dialogs or two strings."""
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
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
