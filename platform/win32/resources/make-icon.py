#!/usr/bin/env python3
"""Packs PNG images into one Windows icon file: make-icon.py OUT.ico IN.png...

Each image goes in as it is (icons may hold PNG data since Windows Vista); its size
comes from the PNG header, and 256 is written as 0, as the format wants."""
import struct
import sys


def main():
    out, images = sys.argv[1], sys.argv[2:]
    blobs = [open(name, "rb").read() for name in images]
    header = struct.pack("<HHH", 0, 1, len(blobs))
    offset = len(header) + 16 * len(blobs)
    entries, data = b"", b""
    for blob in blobs:
        if blob[:8] != b"\x89PNG\r\n\x1a\n":
            sys.exit(f"make-icon: not a PNG image ({len(blob)} bytes)")
        width, height = struct.unpack(">II", blob[16:24])
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(blob), offset + len(data))
        data += blob
    with open(out, "wb") as file:
        file.write(header + entries + data)


if __name__ == "__main__":
    main()
