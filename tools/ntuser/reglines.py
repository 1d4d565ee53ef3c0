#!/usr/bin/env python3
"""Turns a .reg file exported by Wine's reg.exe (UTF-16) into writehive's lines, with the
keys named below the hive's root (HKEY_CURRENT_USER is the hive)."""
import re
import sys

TYPES = {"hex": 3, "hex(2)": 2, "hex(7)": 7, "hex(b)": 11, "hex(0)": 0}


def unquote(s):
    return s.replace('\\"', '"').replace("\\\\", "\\")


def main():
    text = open(sys.argv[1], "rb").read().decode("utf-16").replace("\r", "")
    # Continuation lines end with a backslash.
    text = re.sub(r"\\\n\s*", "", text)
    for line in text.split("\n"):
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1]
            prefix = "HKEY_CURRENT_USER\\"
            if not key.startswith(prefix):
                sys.exit("not a key of the user: " + key)
            print("K\t" + key[len(prefix):])
            continue
        m = re.match(r'^("(?:[^"\\]|\\.)*"|@)=(.*)$', line)
        if not m:
            continue
        name = "" if m.group(1) == "@" else unquote(m.group(1)[1:-1])
        value = m.group(2)
        if value.startswith('"'):
            kind, data = 1, (unquote(value[1:-1]) + "\0").encode("utf-16-le")
        elif value.startswith("dword:"):
            kind, data = 4, int(value[6:], 16).to_bytes(4, "little")
        else:
            tag, _, rest = value.partition(":")
            kind = TYPES[tag]
            data = bytes(int(b, 16) for b in rest.split(",") if b)
        print("V\t%d\t%s\t%s" % (kind, name, data.hex()))


main()
