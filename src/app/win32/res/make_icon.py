#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file.

Usage: make_icon.py OUTPUT.ico

Eight images, as Windows picks them by size and colour depth: 16, 32 and
48 px at 8 and 32 bits per pixel, 48 px at 4 bits and 128 px at 32 bits. The
picture is the tool's redeem ticket on an amber tile, the same as the Linux
build's icons. Pure Python, so the build needs nothing beyond the
interpreter; the output is the same on every run.
"""

import os
import struct
import sys

# (size, bits per pixel), in the order the icon directory lists them.
IMAGES = [(16, 8), (32, 8), (48, 8), (48, 4), (16, 32), (32, 32), (48, 32),
          (128, 32)]

# The same picture as the desktop icons of the Linux build, drawn by the
# one script that draws it. No bytecode cache in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "..", "..", "scripts"))
import make_icons  # noqa: E402


def draw(size):
    """Rows of (r, g, b, a) pixels, top row first."""
    pixels = make_icons.render(size)
    stride = 1 + 4 * size  # each row starts with its PNG filter byte
    rows = []
    for y in range(size):
        line = pixels[y * stride + 1:(y + 1) * stride]
        rows.append([tuple(line[i:i + 4]) for i in range(0, len(line), 4)])
    return rows


def palette_256():
    """A 6x6x6 colour cube and a grey ramp: fixed, good enough for icons."""
    colours = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6)
               for b in range(6)]
    colours += [(round(i * 255 / 39),) * 3 for i in range(40)]
    return colours


# The 16 colours of the standard VGA palette.
PALETTE_16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
              (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
              (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
              (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][k] - colour[k]) ** 2
                                 for k in range(3)))


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def and_mask(rows):
    """1 bit per pixel, set where the pixel is transparent; bottom-up."""
    out = b""
    for row in reversed(rows):
        bits = bytearray((len(row) + 7) // 8)
        for i, pixel in enumerate(row):
            if pixel[3] < 128:
                bits[i // 8] |= 0x80 >> (i % 8)
        out += padded(bytes(bits))
    return out


def bitmap(size, bpp):
    """One icon image: BITMAPINFOHEADER, palette, XOR bits, AND mask."""
    rows = draw(size)
    palette = []
    if bpp == 32:
        xor = b"".join(
            padded(b"".join(struct.pack("BBBB", b, g, r, a)
                            for r, g, b, a in row))
            for row in reversed(rows))
    else:
        palette = palette_256() if bpp == 8 else PALETTE_16
        palette = palette + [(0, 0, 0)] * ((1 << bpp) - len(palette))
        cache = {}
        xor = b""
        for row in reversed(rows):
            indices = []
            for r, g, b, a in row:
                colour = (r, g, b) if a >= 128 else (0, 0, 0)
                if colour not in cache:
                    cache[colour] = nearest(palette, colour)
                indices.append(cache[colour])
            if bpp == 8:
                line = bytes(indices)
            else:
                indices += [0] * (len(indices) % 2)
                line = bytes((indices[i] << 4) | indices[i + 1]
                             for i in range(0, len(indices), 2))
            xor += padded(line)
    # The height counts the XOR and the AND bitmap together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(xor), 0, 0, len(palette) if bpp < 32 else 0, 0)
    colours = b"".join(struct.pack("BBBB", b, g, r, 0)
                       for r, g, b in palette)
    return header + colours + xor + and_mask(rows)


def icon():
    images = [bitmap(size, bpp) for size, bpp in IMAGES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bpp), data in zip(IMAGES, images):
        colour_count = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colour_count,
                           0, 1, bpp, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(icon())


if __name__ == "__main__":
    main()
