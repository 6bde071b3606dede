#!/usr/bin/env python3
"""Writes src/clean/char_classes_table.inc: the code points above ASCII that Markdown reads as
punctuation next to emphasis delimiters (Unicode categories P and S), as ranges. Run it again
when the Python it runs on knows a newer Unicode version."""

import unicodedata
from pathlib import Path

OUT = Path(__file__).resolve().parent.parent / "src" / "clean" / "char_classes_table.inc"


def ranges():
    found = []
    for code in range(0x80, 0x110000):
        if unicodedata.category(chr(code))[0] in "PS":
            if found and found[-1][1] == code - 1:
                found[-1][1] = code
            else:
                found.append([code, code])
    return found


def main():
    pairs = [f"{{0x{low:X}, 0x{high:X}}}," for low, high in ranges()]
    lines = [" ".join(pairs[i:i + 5]) for i in range(0, len(pairs), 5)]
    OUT.write_text(f"// Written by scripts/char_classes.py from Unicode {unicodedata.unidata_version}.\n"
                   + "\n".join(lines) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
