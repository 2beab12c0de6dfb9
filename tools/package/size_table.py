#!/usr/bin/env python3
"""Writes the measured sizes of a release into the README's size tables.

  size_table.py README OUTDIR STAGEDIR VERSION

Only the lines between "<!-- sizes -->" and "<!-- /sizes -->" change, and in
them only table rows that name a release file or a shipped binary:

  | `Zaduze-<version>-x64.msi` | <text kept> | <size of OUTDIR/Zaduze-VERSION-x64.msi> |
  | `ZedudeVeri.exe` <text kept> | <STAGEDIR/x64/ZedudeVeri.exe> | <STAGEDIR/x86/ZedudeVeri.exe> |

(likewise -x86.msi, -bin.zip, -symbols.zip and Zaduze.dll). Sizes are in
decimal megabytes: one decimal for packages and zips, two for binaries. A
named file that does not exist is an error, and so are missing markers.
"""
import os
import re
import sys

BEGIN = "<!-- sizes -->"
END = "<!-- /sizes -->"
RELEASE = re.compile(r"^\| `Zaduze-[^`]*-(x64\.msi|x86\.msi|bin\.zip|symbols\.zip)` \|")
BINARY = re.compile(r"^\| `(ZedudeVeri\.exe|Zaduze\.dll)`")


def megabytes(path, decimals):
    if not os.path.isfile(path):
        raise SystemExit(f"size_table: missing {path}")
    return f"{os.path.getsize(path) / 1e6:.{decimals}f} MB"


def rewrite_row(line, out, stage, version):
    cells = line.rstrip("\n").split(" | ")
    match = RELEASE.match(line)
    if match:
        name = f"Zaduze-{version}-{match.group(1)}"
        cells[0] = f"| `{name}`"
        cells[-1] = megabytes(os.path.join(out, name), 1) + " |"
        return " | ".join(cells) + "\n"
    match = BINARY.match(line)
    if match:
        if len(cells) != 3:
            raise SystemExit(f"size_table: a binary row has three cells (name, x86_64, i686): {line.strip()}")
        cells[1] = megabytes(os.path.join(stage, "x64", match.group(1)), 2)
        cells[2] = megabytes(os.path.join(stage, "x86", match.group(1)), 2) + " |"
        return " | ".join(cells) + "\n"
    return line


def main():
    if len(sys.argv) != 5:
        raise SystemExit(__doc__)
    readme, out, stage, version = sys.argv[1:]
    with open(readme, encoding="utf-8") as f:
        lines = f.readlines()
    marks = [i for i, line in enumerate(lines) if line.strip() in (BEGIN, END)]
    if len(marks) != 2 or lines[marks[0]].strip() != BEGIN:
        raise SystemExit(f"size_table: {readme} needs one {BEGIN} ... {END} block")
    rows = 0
    for i in range(marks[0] + 1, marks[1]):
        new = rewrite_row(lines[i], out, stage, version)
        rows += new is not lines[i]
        lines[i] = new
    if rows == 0:
        raise SystemExit(f"size_table: no size row between the markers of {readme}")
    with open(readme, "w", encoding="utf-8") as f:
        f.writelines(lines)


if __name__ == "__main__":
    main()
