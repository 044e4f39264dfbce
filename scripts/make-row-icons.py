#!/usr/bin/env python3
"""Draws the settings dialog's row marks and writes them as icon files:
res/check.ico (icon 104, a green check mark: the target is queried) and
res/check_grey.ico (icon 105, the same mark in pale grey: the target is excluded).

Each file holds one 16 x 16 image in 256 colours with a transparency mask. The mark is
a thick stroke along two segments; pixels near its middle take the light shade, pixels
at its rim the dark shade, everything else is transparent.
Run from anywhere: python3 scripts/make-row-icons.py
"""
import math
import os
import struct

SIZE = 16
# The stroke: from the short arm's end down to the corner, then up to the long arm's end.
STROKE = [(2.5, 8.0), (6.0, 11.5), (13.5, 3.5)]
CORE = 1.05  # distance from the stroke's centre line that counts as its core
RIM = 1.75   # distance up to which a pixel belongs to the mark at all


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def mark():
    """Rows top to bottom of 0 (transparent), 1 (rim) and 2 (core)."""
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            cx, cy = x + 0.5, y + 0.5
            d = min(distance_to_segment(cx, cy, *STROKE[i], *STROKE[i + 1])
                    for i in range(len(STROKE) - 1))
            row.append(2 if d < CORE else 1 if d < RIM else 0)
        rows.append(row)
    return rows


def icon_bytes(rim, core):
    """One 16 x 16, 8 bits per pixel icon image: palette 0 black (the transparent
    pixels' colour), 1 the rim, 2 the core; the rest of the 256 entries black."""
    rows = mark()
    palette = [(0, 0, 0), rim, core] + [(0, 0, 0)] * 253
    pixels = b"".join(bytes(row) for row in reversed(rows))  # bottom-up, 16 bytes a row
    mask = b""
    for row in reversed(rows):
        bits = 0
        for x, value in enumerate(row):
            if value == 0:
                bits |= 1 << (15 - x)  # 1: the screen shows through
        mask += struct.pack(">H", bits) + b"\0\0"  # rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0,
                         len(pixels) + len(mask), 0, 0, 256, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    image = header + colours + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


def main():
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    with open(os.path.join(res, "check.ico"), "wb") as out:
        out.write(icon_bytes(rim=(0x10, 0x78, 0x18), core=(0x3C, 0xC8, 0x3C)))
    with open(os.path.join(res, "check_grey.ico"), "wb") as out:
        out.write(icon_bytes(rim=(0xB4, 0xB4, 0xB4), core=(0xD8, 0xD8, 0xD8)))


if __name__ == "__main__":
    main()
