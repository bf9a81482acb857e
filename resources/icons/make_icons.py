#!/usr/bin/env python3
"""Draws the program's icon, the suite's mark (a blue tile with a white T, as in
the window icon of frmMain.dfm), as PNG files for the desktop's hicolor theme.

  make_icons.py [FOLDER]    writes FOLDER/NxN.png for every size (default: beside
                            this script)

Each size is drawn anew on the 16-unit grid of the window icon rather than scaled,
so that the T's edges fall on whole pixels at every size (a scaled 16 px image is
blocky, a scaled 256 px one blurred). The stroke is an even number of pixels so
that the stem sits exactly in the middle; only the tile's rounded corners are
smoothed. The output is byte-for-byte reproducible, so the PNGs are kept in the
repository and building does not need Python.
"""
import os
import struct
import sys
import zlib

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
BLUE = (0x3A, 0x6E, 0xA5)  # the form's colour $A56E3A, stored blue first
WHITE = (0xFF, 0xFF, 0xFF)
SAMPLES = 8  # per pixel and axis, for the corners' coverage


def layout(size):
    """The tile and the two bars of the T, in whole pixels."""
    unit = size / 16.0
    margin = max(1, round(unit))
    stroke = 2 * max(1, round(unit + 0.25))  # even, a little bold at the small sizes
    inset = round(3 * unit)
    tile = (margin, margin, size - margin, size - margin)
    bar = (inset, inset, size - inset, inset + stroke)
    stem = ((size - stroke) // 2, inset + stroke, (size + stroke) // 2, size - inset)
    return tile, unit, (bar, stem)


def in_rounded(x, y, rect, radius):
    left, top, right, bottom = rect
    if not (left <= x < right and top <= y < bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def pixels(size):
    tile, unit, bars = layout(size)
    radius = unit  # one unit of the 16-unit grid
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            white = any(l <= x < r and t <= y < b for l, t, r, b in bars)
            hits = sum(in_rounded(x + (i + 0.5) / SAMPLES, y + (j + 0.5) / SAMPLES, tile, radius)
                       for j in range(SAMPLES) for i in range(SAMPLES))
            alpha = round(255 * hits / SAMPLES ** 2)
            row += bytes((WHITE if white else BLUE) + (alpha,)) if alpha else b"\0\0\0\0"
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    raw = b"".join(b"\0" + row for row in rows)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(
        b"IEND", b"")


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for size in SIZES:
        with open(os.path.join(folder, "%dx%d.png" % (size, size)), "wb") as out:
            out.write(png(size, pixels(size)))


if __name__ == "__main__":
    main()
