#!/usr/bin/env python3
"""Writes the picture data that the form descriptions embed, as the hex that a
`Picture.Data = {...}` or `Icon.Data = {...}` line holds.

  make_form_pictures.py bitmap RRGGBB   a 4 x 4 single-colour TBitmap
  make_form_pictures.py icon            the window icon (16 and 32 pixels)
  make_form_pictures.py jpeg W H RRGGBB a W x H single-colour TJPEGImage (the
                                        download dialogs' 462 176 FFFFFF background)

The JPEG is encoded by `cjpeg` (Debian package libjpeg-turbo-progs) from a PPM
that this script writes; only the resulting hex goes into the form descriptions,
so building the program does not need it.
"""
import struct
import subprocess
import sys


def bmp(width, height, pixel_at):
    """A 24-bit bottom-up BMP file."""
    row_size = (width * 3 + 3) & ~3
    rows = b""
    for y in reversed(range(height)):
        row = b"".join(bytes(pixel_at(x, y)[::-1]) for x in range(width))
        rows += row + b"\0" * (row_size - len(row))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 3780, 3780, 0, 0)
    return header + info + rows


def icon_image(size):
    """A 32-bit icon image (BITMAPINFOHEADER, BGRA rows, AND mask): a blue tile
    with a white T, the suite's mark."""
    blue, white = (0x3A, 0x6E, 0xA5), (0xFF, 0xFF, 0xFF)
    s = size / 16.0

    def pixel(x, y):
        margin = round(1 * s)
        if x < margin or y < margin or x >= size - margin or y >= size - margin:
            return (0, 0, 0, 0)
        bar = round(3 * s) <= y < round(5 * s) and round(3 * s) <= x < round(13 * s)
        stem = round(5 * s) <= y < round(13 * s) and round(7 * s) <= x < round(9 * s)
        r, g, b = white if bar or stem else blue
        return (r, g, b, 255)

    rows = b""
    for y in reversed(range(size)):
        rows += b"".join(bytes((b, g, r, a)) for r, g, b, a in (pixel(x, y) for x in range(size)))
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(rows) + len(mask), 0, 0, 0, 0)
    return info + rows + mask


def ico(sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def jpeg(width, height, colour):
    ppm = b"P6\n%d %d\n255\n" % (width, height) + colour * (width * height)
    return subprocess.run(["cjpeg", "-quality", "90", "-optimize"], input=ppm, stdout=subprocess.PIPE,
                          check=True).stdout


def as_form_hex(data, indent="      "):
    text = data.hex().upper()
    return "{\n" + "\n".join(indent + text[i:i + 64] for i in range(0, len(text), 64)) + "}"


def main():
    if sys.argv[1:2] == ["bitmap"]:
        colour = bytes.fromhex(sys.argv[2])
        data = bmp(4, 4, lambda x, y: colour)
        print(as_form_hex(b"\x07TBitmap" + struct.pack("<I", len(data)) + data))
    elif sys.argv[1:2] == ["jpeg"] and len(sys.argv) == 5:
        data = jpeg(int(sys.argv[2]), int(sys.argv[3]), bytes.fromhex(sys.argv[4]))
        print(as_form_hex(b"\x0aTJPEGImage" + struct.pack("<I", len(data)) + data))
    elif sys.argv[1:2] == ["icon"]:
        print(as_form_hex(ico([16, 32]), "    "))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
