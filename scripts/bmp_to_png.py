#!/usr/bin/env python3
"""Converts the 24-bit bottom-up BMP files Tamsink writes into PNG files, for
showing them where BMP is not displayed (the README). Standard library only.

    scripts/bmp_to_png.py IN.bmp OUT.png [SCALE]
"""
import struct
import sys
import zlib


def read_bmp(path):
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        raise SystemExit(f"{path}: not a BMP file")
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24 or height <= 0:
        raise SystemExit(f"{path}: not a 24-bit bottom-up BMP")
    stride = (3 * width + 3) // 4 * 4
    rows = []
    for y in range(height):  # y = 0 is the top row, the last row of the file
        start = offset + (height - 1 - y) * stride
        bgr = data[start:start + 3 * width]
        rows.append(bytes(b for i in range(width) for b in (bgr[3*i+2], bgr[3*i+1], bgr[3*i])))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + row for row in rows)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    open(path, "wb").write(png)


def main():
    if len(sys.argv) not in (3, 4):
        raise SystemExit(__doc__)
    width, height, rows = read_bmp(sys.argv[1])
    scale = int(sys.argv[3]) if len(sys.argv) == 4 else 1
    if scale > 1:
        rows = [bytes(b for i in range(width) for _ in range(scale) for b in row[3*i:3*i+3])
                for row in rows for _ in range(scale)]
        width, height = width * scale, height * scale
    write_png(sys.argv[2], width, height, rows)


if __name__ == "__main__":
    main()
