#!/usr/bin/env python3
"""Registry exports (regedit format, converted to UTF-8) and their changes.

    regfile.py BEFORE AFTER   prints one line per value that AFTER adds or
                              changes ("+ key | name | type | data"), per value
                              it lacks ("- ..."), and per empty key it adds or
                              lacks ("+ key" / "- key"), sorted
"""
import re
import sys


def parse_reg(path):
    """Reads a regedit export: {key: {name: (kind, data)}}, name "" = default."""
    keys = {}
    current = None
    lines = open(path, encoding="utf-8").read().split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        i += 1
        while line.endswith("\\") and i < len(lines) and not line.startswith("["):
            line = line[:-1] + lines[i].strip()
            i += 1
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
            continue
        if current is None or not line or line.startswith("Windows Registry"):
            continue
        if line.startswith("@="):
            name, rest = "", line[2:]
        else:
            m = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
            if not m:
                raise SystemExit("cannot read line of %s: %r" % (path, line))
            name, rest = unescape(m.group(1)), m.group(2)
        if rest.startswith('"') and rest.endswith('"'):
            current[name] = ("sz", unescape(rest[1:-1]))
        elif rest.startswith("dword:"):
            current[name] = ("dword", int(rest[6:], 16))
        else:
            current[name] = ("raw", rest)  # hex:, hex(N): as exported
    return keys


def unescape(text):
    return re.sub(r"\\(.)", r"\1", text)


def added(before, after):
    """Keys and values of `after` that `before` lacks or holds differently."""
    out = {}
    for key, values in after.items():
        old = before.get(key)
        if old is None:
            out[key] = dict(values)
        else:
            changed = {n: v for n, v in values.items() if old.get(n) != v}
            if changed:
                out[key] = changed
    return out



def changes(before, after):
    lines = []
    for sign, a, b in (("+", before, after), ("-", after, before)):
        for key, values in added(a, b).items():
            if not values and not b[key] and key not in a:
                lines.append("%s %s" % (sign, key))
            for name, (kind, data) in values.items():
                lines.append("%s %s | %s | %s | %s" % (sign, key, name or "@", kind, data))
    return sorted(lines)


if __name__ == "__main__":
    for line in changes(parse_reg(sys.argv[1]), parse_reg(sys.argv[2])):
        print(line)
