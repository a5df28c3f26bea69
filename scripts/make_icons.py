#!/usr/bin/env python3
"""Draws the tool's icon, a redeem ticket on an amber tile, as PNG files.

Usage: make_icons.py OUTDIR SIZE... -> OUTDIR/cdktool-SIZE.png for each size.
Standard library only, so the build needs nothing beyond Python.
"""
import os
import struct
import sys
import zlib

AMBER = (192, 96, 0)
WHITE = (255, 250, 240)
SAMPLES = 4  # per axis, for smooth edges


def inside_rounded(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def colour_at(u, v):
    """Colour and coverage at unit coordinates (0..1)."""
    if not inside_rounded(u, v, 0.02, 0.02, 0.98, 0.98, 0.2):
        return None
    ticket = inside_rounded(u, v, 0.16, 0.3, 0.84, 0.7, 0.06)
    notch = (u - 0.16) ** 2 + (v - 0.5) ** 2 <= 0.07 ** 2 or \
        (u - 0.84) ** 2 + (v - 0.5) ** 2 <= 0.07 ** 2
    perforation = abs(u - 0.62) < 0.015 and int(v * 20) % 2 == 0
    if ticket and not notch and not perforation:
        return WHITE
    return AMBER


def render(size):
    rows = []
    for y in range(size):
        row = bytearray([0])  # filter: none
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((x + (sx + 0.5) / SAMPLES) / size,
                                  (y + (sy + 0.5) / SAMPLES) / size)
                    if c:
                        acc[0] += c[0]
                        acc[1] += c[1]
                        acc[2] += c[2]
                        acc[3] += 1
            n = acc[3]
            if n:
                row += bytes([acc[0] // n, acc[1] // n, acc[2] // n,
                              255 * n // SAMPLES ** 2])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def main():
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    for size in map(int, sys.argv[2:]):
        with open(os.path.join(outdir, "cdktool-%d.png" % size), "wb") as f:
            f.write(png(size, render(size)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
