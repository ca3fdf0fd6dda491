#!/usr/bin/env python3
"""The update done the straightforward way, as a yardstick for the program:
read the file, find and replace the four texts, write the result beside the
file, sync it and rename it over the file. Exits 0 when the file was updated,
1 when a text is missing."""

import os
import sys

ROWS = [
    ((28, "Work with Submitted Jobs", 19), (26, "WERKEN MET AANGEBODEN TAKEN", 18)),
    ((61, "System:", 3), (60, "Systeem:", 3)),
    ((47, "System  . . . . . :", 3), (47, "Systeem . . . . . :", 3)),
    ((0, "English", 8), (0, "Dutch", 10)),
]


def wide(padded):
    before, words, after = padded
    return (" " * before + words + " " * after).encode("utf-16-le")


TABLE = [(wide(english), wide(dutch)) for english, dutch in ROWS]


def main(path):
    data = bytearray(os.path.getsize(path))
    with open(path, "rb") as f:
        f.readinto(data)
    for english, dutch in TABLE:
        position = data.find(english)
        if position < 0:
            return 1
        data[position : position + len(dutch)] = dutch
    temporary = path + ".new"
    with open(temporary, "wb") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())
    os.replace(temporary, path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
