#!/usr/bin/env python3
"""Draws the program's icon, a disk drum, into res/fsw.ico, and the status window's grade
marks into res/grade_*.ico (see their section below).

The drum is a cylinder with a grey outline, filled with a vertical gradient from blue at
the top through cyan, white, yellow and orange to red at the bottom. The file holds a
48, 32, 24, 20 and 16 pixel image (the sizes Windows asks for at 100 to 300 % scaling),
each with a 256-colour palette and a transparency mask, as classic icon resources are stored. Plain Python, no imaging library needed:
    python3 scripts/draw-icon.py [output.ico]
"""
import os
import struct
import sys

GRADIENT = [  # top to bottom
    (0, 0, 255),      # blue
    (0, 255, 255),    # cyan
    (255, 255, 255),  # white
    (255, 255, 0),    # yellow
    (255, 165, 0),    # orange
    (255, 0, 0),      # red
]
OUTLINE = (96, 96, 96)     # the drum's edge
RIM = (128, 128, 128)      # the near edge of the top face
SAMPLES = 4                # sub-pixel samples per axis when deciding what a pixel covers


def gradient(t):
    """The fill colour at height t, 0 at the top of the drum and 1 at its bottom."""
    t = min(max(t, 0.0), 1.0) * (len(GRADIENT) - 1)
    i = min(int(t), len(GRADIENT) - 2)
    f = t - i
    a, b = GRADIENT[i], GRADIENT[i + 1]
    return tuple(round(a[k] + (b[k] - a[k]) * f) for k in range(3))


def drum_geometry(size):
    """Centre x, half width, top ellipse centre y, bottom ellipse centre y, ellipse half height."""
    rx = size * 0.41
    ry = size * 0.13
    top = size * 0.03 + ry
    bottom = size * 0.97 - ry
    return size / 2, rx, top, bottom, ry


def inside_drum(x, y, geometry):
    cx, rx, top, bottom, ry = geometry
    dx = (x - cx) / rx
    if abs(dx) > 1:
        return False
    half = ry * (1 - dx * dx) ** 0.5
    return top - half <= y <= bottom + half


def on_rim(x, y, geometry, width):
    """The near (lower) arc of the top face, so the drum reads as a cylinder."""
    cx, rx, top, _, ry = geometry
    dx = (x - cx) / rx
    if abs(dx) > 1:
        return False
    arc = top + ry * (1 - dx * dx) ** 0.5
    return abs(y - arc) <= width / 2


def draw(size):
    """Rows of pixels, top row first: an (r, g, b) tuple, or None where transparent."""
    geometry = drum_geometry(size)
    _, _, top, bottom, ry = geometry
    height = (bottom + ry) - (top - ry)
    step = 1.0 / SAMPLES
    offsets = [step * (i + 0.5) for i in range(SAMPLES)]

    covered = [[sum(inside_drum(x + ox, y + oy, geometry) for ox in offsets for oy in offsets)
                for x in range(size)] for y in range(size)]
    full = SAMPLES * SAMPLES
    image = []
    for y in range(size):
        row = []
        for x in range(size):
            c = covered[y][x]
            if c * 2 < full:
                row.append(None)
                continue
            neighbours = [covered[y + dy][x + dx] if 0 <= y + dy < size and 0 <= x + dx < size
                          else 0 for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))]
            if c < full or min(neighbours) * 2 < full:
                row.append(OUTLINE)
            elif on_rim(x + 0.5, y + 0.5, geometry, 1.0):
                row.append(RIM)
            else:
                t = (y + 0.5 - (top - ry)) / height
                row.append(gradient(t))
        image.append(row)
    return image


def icon_image(image):
    """One image of an icon file: header, 256-colour palette, colour bits, mask bits."""
    size = len(image)
    palette = [(0, 0, 0)]
    for row in image:
        for pixel in row:
            if pixel is not None and pixel not in palette:
                palette.append(pixel)
    if len(palette) > 256:
        raise SystemExit("more than 256 colours")
    palette += [(0, 0, 0)] * (256 - len(palette))
    index = {colour: i for i, colour in reversed(list(enumerate(palette)))}

    colour_stride = (size + 3) // 4 * 4
    mask_stride = ((size + 7) // 8 + 3) // 4 * 4
    colour_bits = b""
    mask_bits = b""
    for row in reversed(image):  # bitmaps are stored bottom-up
        colour_bits += bytes(0 if p is None else index[p] for p in row)
        colour_bits += b"\0" * (colour_stride - size)
        mask = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p is None:
                mask[x // 8] |= 0x80 >> (x % 8)
        mask_bits += bytes(mask)

    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0,
                         len(colour_bits) + len(mask_bits), 0, 0, 256, 0)
    colours = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + colour_bits + mask_bits


SIZES = [48, 32, 24, 20, 16]


def write_icon(out, drawer):
    """An icon file of drawer(size) at every size the program ships."""
    images = [icon_image(drawer(size)) for size in SIZES]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), offset)
        offset += len(image)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


# --- The status window's grade marks -------------------------------------------------
# res/grade_*.ico (icons 110 to 114): one shape per grade, so that the rows are told apart
# without reading and without telling colours apart: normal a circle, caution a triangle,
# warning a diamond, danger a square with a bar across, error a cross. Each is filled and
# outlined in a darker shade.

def grade_shapes():
    """Name, inside(x, y) on the unit square, fill colour, outline colour."""
    def circle(x, y):
        return (x - 0.5) ** 2 + (y - 0.5) ** 2 <= 0.44 ** 2

    def triangle(x, y):
        return 0.9 >= y >= 0.1 + abs(x - 0.5) * 1.7 and y >= 0.06

    def diamond(x, y):
        return abs(x - 0.5) + abs(y - 0.5) <= 0.48

    def square(x, y):
        inside = 0.08 <= x <= 0.92 and 0.08 <= y <= 0.92
        bar = 0.22 <= x <= 0.78 and 0.42 <= y <= 0.58
        return inside and not bar

    def cross(x, y):
        return min(abs(x - y), abs(x + y - 1)) <= 0.15 and 0.06 <= x <= 0.94 and 0.06 <= y <= 0.94

    return [
        ("grade_normal.ico", circle, (0x30, 0xB0, 0x40), (0x10, 0x60, 0x18)),
        ("grade_caution.ico", triangle, (0xF8, 0xD8, 0x20), (0x80, 0x68, 0x00)),
        ("grade_warning.ico", diamond, (0xF8, 0x90, 0x10), (0x90, 0x48, 0x00)),
        ("grade_danger.ico", square, (0xE0, 0x20, 0x20), (0x70, 0x00, 0x00)),
        ("grade_error.ico", cross, (0x70, 0x70, 0x80), (0x28, 0x28, 0x30)),
    ]


def draw_shape(size, inside, fill, outline):
    """Rows of pixels as draw() makes them: a pixel more than half covered belongs to the
    shape; the outline where it or a neighbour is not fully covered."""
    offsets = [(i + 0.5) / SAMPLES for i in range(SAMPLES)]
    covered = [[sum(inside((x + ox) / size, (y + oy) / size) for ox in offsets for oy in offsets)
                for x in range(size)] for y in range(size)]
    full = SAMPLES * SAMPLES
    width = max(1, round(size / 16))  # the outline's pixels at this size
    image = []
    for y in range(size):
        row = []
        for x in range(size):
            if covered[y][x] * 2 < full:
                row.append(None)
                continue
            near = [covered[y + dy][x + dx] if 0 <= y + dy < size and 0 <= x + dx < size else 0
                    for dx in range(-width, width + 1) for dy in range(-width, width + 1)
                    if abs(dx) + abs(dy) <= width]
            row.append(outline if min(near) < full else fill)
        image.append(row)
    return image


def write_grade_marks(res):
    for name, inside, fill, outline in grade_shapes():
        write_icon(os.path.join(res, name),
                   lambda size: draw_shape(size, inside, fill, outline))
# --- end of the grade marks ------------------------------------------------------------


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res", "fsw.ico")
    write_icon(out, draw)
    if len(sys.argv) <= 1:
        write_grade_marks(os.path.join(here, "..", "res"))


if __name__ == "__main__":
    main()
