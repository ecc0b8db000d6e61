#!/usr/bin/env python3
"""Draws the program's icon into Wendrake.ico: a green rounded square with a white arrow going
down into a tray, the sign of a download that becomes an installation.

16 and 32 pixels, the sizes Windows XP shows, are 32-bit bitmaps with an alpha channel, which every
Windows from XP on reads; 24, 48 and 64 pixels, for denser screens and the larger icon views of
Vista and later, are PNG images, a fifth of the size in the executable (XP cannot read them: its
Tiles view, which asks for 48, shows no icon). Edges are smoothed by sampling each pixel 6 x 6
times.
"""
import struct
import sys
import zlib

BITMAP_SIZES = (16, 32)
PNG_SIZES = (24, 48, 64)
SAMPLES = 6

TOP = (0x2b, 0xa8, 0x78)      # the square's colour at its top edge
BOTTOM = (0x0a, 0x52, 0x38)   # ... and at its bottom edge
EDGE = (0x05, 0x33, 0x23)     # its outline
WHITE = (0xff, 0xff, 0xff)


def in_rounded_square(x, y, inset, radius):
    lo, hi = inset, 1.0 - inset
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_arrow(x, y):
    if 0.42 <= x <= 0.58 and 0.16 <= y <= 0.48:  # the shaft
        return True
    # The head: a triangle from (0.24, 0.44) and (0.76, 0.44) down to its point at (0.5, 0.70).
    if 0.44 <= y <= 0.70:
        half = 0.26 * (0.70 - y) / 0.26
        return abs(x - 0.5) <= half
    return False


def in_tray(x, y):
    if 0.20 <= x <= 0.80 and 0.76 <= y <= 0.84:
        return True
    return 0.62 <= y <= 0.84 and (0.20 <= x <= 0.28 or 0.72 <= x <= 0.80)


def pixel(size, px, py):
    """Red, green, blue and alpha of one pixel, averaged over its samples."""
    edge = max(1.0 / size, 0.035)
    total = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (px + (sx + 0.5) / SAMPLES) / size
            y = (py + (sy + 0.5) / SAMPLES) / size
            if not in_rounded_square(x, y, 0.04, 0.2):
                continue
            if not in_rounded_square(x, y, 0.04 + edge, 0.2 - edge):
                colour = EDGE
            elif in_arrow(x, y) or in_tray(x, y):
                colour = WHITE
            else:
                t = (y - 0.04) / 0.92
                colour = tuple(a + (b - a) * t for a, b in zip(TOP, BOTTOM))
            for i in range(3):
                total[i] += colour[i]
            total[3] += 255
    n = SAMPLES * SAMPLES
    alpha = total[3] / n
    if alpha == 0:
        return (0, 0, 0, 0)
    # Colours averaged over the covered samples only: straight (not premultiplied) alpha.
    covered = total[3] / 255
    return tuple(int(round(c / covered)) for c in total[:3]) + (int(round(alpha)),)


def draw(size):
    return [[pixel(size, x, y) for x in range(size)] for y in range(size)]


def bitmap_image(size):
    rows = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):  # bottom-up, one bit a pixel: 1 where nothing is drawn
        bits = 0
        for (_, _, _, a) in row:
            bits = (bits << 1) | (1 if a == 0 else 0)
        bits <<= mask_stride * 8 - size
        mask += bits.to_bytes(mask_stride, "big")
    return header + colour + mask


def png_image(size):
    rows = draw(size)
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def build():
    images = sorted([(s, bitmap_image(s)) for s in BITMAP_SIZES] + [(s, png_image(s)) for s in PNG_SIZES])
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return directory + data


if __name__ == "__main__":
    with open(sys.argv[1] if len(sys.argv) > 1 else "Wendrake.ico", "wb") as f:
        f.write(build())
