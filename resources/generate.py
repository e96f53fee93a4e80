#!/usr/bin/env python3
"""Draws the program's bitmaps and icon and writes them beside this script.

Standard library only. Run it again after changing a picture and commit the
output with it:

    python3 resources/generate.py            # writes beside this script
    python3 resources/generate.py --out DIR  # writes into DIR (to compare)

group.bmp   102  16x16 24-bit   white square, grey frame, dark marks
arrow.bmp   103  16x16 24-bit   black arrow pointing right on white
star.bmp    104  16x16 8-bit    black eight-pointed star on white
about.bmp   112  600x400 24-bit the About box picture
pelorine.ico 107 16x16 and 32x32, 16 colours
"""

import math
import os
import struct
import sys
from array import array

HERE = os.path.dirname(os.path.abspath(__file__))

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
BACKGROUND = (22, 41, 78)  # the About picture's edges


# --------------------------------------------------------------------------
# File formats


def bmp_24(width, height, pixels):
    """pixels: rows top to bottom of (r, g, b)."""
    row_bytes = (width * 3 + 3) & ~3
    image = bytearray()
    for y in range(height - 1, -1, -1):  # BMP rows are stored bottom-up
        row = bytearray()
        for r, g, b in pixels[y]:
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        image += row
    return _bmp_file(width, height, 24, b"", 0, bytes(image))


def bmp_8(width, height, palette, indices):
    """palette: list of (r, g, b); indices: rows top to bottom."""
    row_bytes = (width + 3) & ~3
    image = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(indices[y])
        row += b"\0" * (row_bytes - len(row))
        image += row
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return _bmp_file(width, height, 8, table, len(palette), bytes(image))


def _bmp_file(width, height, bits, table, colours_used, image):
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(image), 2835, 2835, colours_used, 0)
    offset = 14 + len(info) + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    return header + info + table + image


# The 16 colours of the standard Windows palette.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def ico_16_colours(images):
    """images: list of (size, rows of palette index or None for transparent)."""
    entries = []
    blobs = []
    for size, rows in images:
        xor_row = ((size * 4 + 31) // 32) * 4
        and_row = ((size + 31) // 32) * 4
        xor = bytearray()
        mask = bytearray()
        for y in range(size - 1, -1, -1):
            row = rows[y]
            line = bytearray(xor_row)
            bits = bytearray(and_row)
            for x in range(size):
                index = row[x]
                if index is None:
                    bits[x // 8] |= 0x80 >> (x % 8)
                    index = 0  # transparent pixels are black in the colour image
                if x % 2 == 0:
                    line[x // 2] |= index << 4
                else:
                    line[x // 2] |= index
            xor += line
            mask += bits
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA16)
        blobs.append(info + table + bytes(xor) + bytes(mask))
        entries.append(size)
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    directory = b""
    for size, blob in zip(entries, blobs):
        directory += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    return header + directory + b"".join(blobs)


# --------------------------------------------------------------------------
# Small pictures, drawn pixel by pixel


def blank(size, colour=WHITE):
    return [[colour] * size for _ in range(size)]


def group_bitmap():
    """A sheet: white square, grey frame, a few dark marks like lines of text."""
    px = blank(16)
    grey = (128, 128, 128)
    dark = (64, 64, 64)
    for i in range(1, 15):
        px[1][i] = px[14][i] = grey
        px[i][1] = px[i][14] = grey
    for y, x0, x1 in ((4, 4, 11), (7, 4, 9), (10, 4, 10)):
        for x in range(x0, x1 + 1):
            px[y][x] = dark
    # a small square mark at the right of the middle line
    for y in (7, 8):
        for x in (11, 12):
            px[y][x] = dark
    return px


def arrow_bitmap():
    px = blank(16)
    # shaft
    for y in (7, 8):
        for x in range(2, 9):
            px[y][x] = BLACK
    # head: a triangle whose tip is at x = 13
    for x in range(8, 14):
        half = 13 - x
        for y in range(8 - half - 1, 8 + half + 1):
            if 0 <= y < 16:
                px[y][x] = BLACK
    return px


def star_points(cx, cy, outer, inner, points=8, rotation=-90.0):
    result = []
    for k in range(points * 2):
        radius = outer if k % 2 == 0 else inner
        angle = math.radians(rotation + k * 180.0 / points)
        result.append((cx + radius * math.cos(angle), cy + radius * math.sin(angle)))
    return result


def inside(polygon, x, y):
    hit = False
    n = len(polygon)
    for i in range(n):
        x1, y1 = polygon[i]
        x2, y2 = polygon[(i + 1) % n]
        if (y1 > y) != (y2 > y):
            cross = x1 + (y - y1) * (x2 - x1) / (y2 - y1)
            if x < cross:
                hit = not hit
    return hit


def star_bitmap():
    """Palette index 0 is white, 1 is black."""
    polygon = star_points(7.5, 7.5, 7.4, 4.0)
    rows = []
    for y in range(16):
        row = []
        for x in range(16):
            row.append(1 if inside(polygon, x + 0.5, y + 0.5) else 0)
        rows.append(row)
    palette = [WHITE, BLACK] + [(0, 0, 0)] * 254
    return palette, rows


def icon_image(size):
    """The program's icon: a navy tile holding a small tree of groups, the
    selected group's sheet in yellow. Indices into VGA16; None is clear.
    Boxes are half-open, in 16-pixel units."""
    navy, white, yellow, grey, silver = 4, 15, 11, 8, 7
    rows = [[None] * size for _ in range(size)]
    s = size / 16.0

    def box(x0, y0, x1, y1, index):
        for y in range(int(round(y0 * s)), int(round(y1 * s))):
            for x in range(int(round(x0 * s)), int(round(x1 * s))):
                rows[y][x] = index

    # tile with cut corners
    box(0, 1, 16, 15, navy)
    box(1, 0, 15, 16, navy)
    # trunk and branches
    box(3, 5, 4, 13, silver)
    box(4, 6, 8, 7, silver)
    box(4, 12, 8, 13, silver)
    # the root sheet and two groups, the selected one in yellow
    box(1, 1, 7, 5, white)
    box(8, 4, 15, 9, yellow)
    box(8, 10, 15, 15, white)
    # marks in the sheets
    box(2, 2.5, 6, 3.5, grey)
    box(9, 6, 14, 7, grey)
    box(9, 12, 13, 13, grey)
    return rows


# --------------------------------------------------------------------------
# The About picture: an anti-aliased canvas with a stroke font


class Canvas:
    def __init__(self, width, height):
        self.w = width
        self.h = height
        self.r = array("f", [0.0]) * (width * height)
        self.g = array("f", [0.0]) * (width * height)
        self.b = array("f", [0.0]) * (width * height)

    def blend(self, x, y, colour, alpha):
        if alpha <= 0.0 or x < 0 or y < 0 or x >= self.w or y >= self.h:
            return
        if alpha > 1.0:
            alpha = 1.0
        i = y * self.w + x
        self.r[i] += (colour[0] - self.r[i]) * alpha
        self.g[i] += (colour[1] - self.g[i]) * alpha
        self.b[i] += (colour[2] - self.b[i]) * alpha

    def vertical_gradient(self, top, bottom):
        for y in range(self.h):
            t = y / (self.h - 1)
            c = tuple(top[k] + (bottom[k] - top[k]) * t for k in range(3))
            for x in range(self.w):
                i = y * self.w + x
                self.r[i], self.g[i], self.b[i] = c

    def glow(self, cx, cy, radius, colour, strength):
        for y in range(max(0, int(cy - radius)), min(self.h, int(cy + radius) + 1)):
            for x in range(max(0, int(cx - radius)), min(self.w, int(cx + radius) + 1)):
                d = math.hypot(x - cx, y - cy) / radius
                if d < 1.0:
                    self.blend(x, y, colour, strength * (1.0 - d) ** 2)

    def rounded_rect(self, x0, y0, x1, y1, radius, colour, alpha=1.0):
        """Filled, anti-aliased, by the signed distance to the rounded box."""
        cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
        hx, hy = (x1 - x0) / 2.0 - radius, (y1 - y0) / 2.0 - radius
        for y in range(max(0, int(y0) - 1), min(self.h, int(y1) + 2)):
            for x in range(max(0, int(x0) - 1), min(self.w, int(x1) + 2)):
                qx = abs(x + 0.5 - cx) - hx
                qy = abs(y + 0.5 - cy) - hy
                outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
                d = outside + min(max(qx, qy), 0.0) - radius
                self.blend(x, y, colour, alpha * min(1.0, max(0.0, 0.5 - d)))

    def frame(self, x0, y0, x1, y1, radius, width, colour, alpha=1.0):
        cover = array("f", [0.0]) * (self.w * self.h)
        cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
        hx, hy = (x1 - x0) / 2.0 - radius, (y1 - y0) / 2.0 - radius
        for y in range(max(0, int(y0) - 2), min(self.h, int(y1) + 3)):
            for x in range(max(0, int(x0) - 2), min(self.w, int(x1) + 3)):
                qx = abs(x + 0.5 - cx) - hx
                qy = abs(y + 0.5 - cy) - hy
                d = math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - radius
                cover[y * self.w + x] = min(1.0, max(0.0, width / 2.0 + 0.5 - abs(d)))
        self.paint(cover, colour, alpha)

    def polygon(self, points, colour, alpha=1.0, samples=4):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        step = 1.0 / samples
        for y in range(max(0, int(min(ys))), min(self.h, int(max(ys)) + 1)):
            for x in range(max(0, int(min(xs))), min(self.w, int(max(xs)) + 1)):
                hits = 0
                for sy in range(samples):
                    for sx in range(samples):
                        if inside(points, x + (sx + 0.5) * step, y + (sy + 0.5) * step):
                            hits += 1
                if hits:
                    self.blend(x, y, colour, alpha * hits / (samples * samples))

    def new_cover(self):
        return array("f", [0.0]) * (self.w * self.h)

    def stroke(self, cover, ax, ay, bx, by, width):
        """Adds a round-capped segment to a coverage layer."""
        half = width / 2.0
        x0 = max(0, int(min(ax, bx) - half - 1))
        x1 = min(self.w - 1, int(max(ax, bx) + half + 1))
        y0 = max(0, int(min(ay, by) - half - 1))
        y1 = min(self.h - 1, int(max(ay, by) + half + 1))
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy
        for y in range(y0, y1 + 1):
            py = y + 0.5
            for x in range(x0, x1 + 1):
                px = x + 0.5
                if length2 > 0.0:
                    t = ((px - ax) * dx + (py - ay) * dy) / length2
                    t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
                    d = math.hypot(px - (ax + t * dx), py - (ay + t * dy))
                else:
                    d = math.hypot(px - ax, py - ay)
                c = half + 0.5 - d
                if c > 0.0:
                    i = y * self.w + x
                    if c > 1.0:
                        c = 1.0
                    if c > cover[i]:
                        cover[i] = c

    def polyline(self, cover, points, width):
        if len(points) == 1:
            self.stroke(cover, points[0][0], points[0][1], points[0][0], points[0][1], width)
        for (ax, ay), (bx, by) in zip(points, points[1:]):
            self.stroke(cover, ax, ay, bx, by, width)

    def paint(self, cover, colour, alpha=1.0):
        for i, c in enumerate(cover):
            if c > 0.0:
                self.blend(i % self.w, i // self.w, colour, c * alpha)

    def line(self, points, width, colour, alpha=1.0):
        cover = self.new_cover()
        self.polyline(cover, points, width)
        self.paint(cover, colour, alpha)

    def rows(self):
        out = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                i = y * self.w + x
                row.append(tuple(max(0, min(255, int(round(v[i])))) for v in (self.r, self.g, self.b)))
            out.append(row)
        return out


def arc(cx, cy, rx, ry, a0, a1, pieces=None):
    """Points of an elliptic arc in glyph space (y up), angles in degrees."""
    if pieces is None:
        pieces = max(4, int(abs(a1 - a0) / 10))
    result = []
    for k in range(pieces + 1):
        a = math.radians(a0 + (a1 - a0) * k / pieces)
        result.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return result


def ellipse(cx, cy, rx, ry):
    return arc(cx, cy, rx, ry, 0, 360, 36)


# Glyphs: advance and polylines in units where the x-height is 0.5, capitals
# are 0.72 high and the baseline is 0 (y up). A one-point polyline is a dot.
BOWL = ellipse(0.23, 0.25, 0.2, 0.255)
GLYPHS = {
    " ": (0.25, []),
    "a": (0.5, [BOWL, [(0.43, 0.5), (0.43, 0.0)]]),
    "b": (0.5, [[(0.04, 0.76), (0.04, 0.0)], ellipse(0.24, 0.25, 0.2, 0.255)]),
    "c": (0.46, [arc(0.24, 0.25, 0.21, 0.255, 45, 315)]),
    "d": (0.5, [BOWL, [(0.43, 0.76), (0.43, 0.0)]]),
    "e": (0.5, [[(0.03, 0.25), (0.46, 0.25)] + arc(0.245, 0.25, 0.215, 0.255, 0, 315)[1:]]),
    "f": (0.3, [arc(0.28, 0.62, 0.14, 0.14, 35, 180) + [(0.14, 0.0)], [(0.0, 0.5), (0.3, 0.5)]]),
    "g": (0.5, [BOWL, [(0.43, 0.5), (0.43, -0.08)] + arc(0.23, -0.08, 0.2, 0.14, 0, -150)[1:]]),
    "h": (0.48, [[(0.04, 0.76), (0.04, 0.0)], arc(0.22, 0.3, 0.18, 0.2, 180, 0) + [(0.40, 0.0)]]),
    "i": (0.16, [[(0.05, 0.5), (0.05, 0.0)], [(0.05, 0.68)]]),
    "j": (0.2, [[(0.12, 0.5), (0.12, -0.1)] + arc(0.02, -0.1, 0.1, 0.12, 0, -120)[1:], [(0.12, 0.68)]]),
    "k": (0.42, [[(0.04, 0.76), (0.04, 0.0)], [(0.38, 0.5), (0.04, 0.2)], [(0.16, 0.3), (0.40, 0.0)]]),
    "l": (0.16, [[(0.05, 0.76), (0.05, 0.0)]]),
    "m": (0.68, [[(0.04, 0.5), (0.04, 0.0)],
                 arc(0.18, 0.32, 0.14, 0.18, 180, 0) + [(0.32, 0.0)],
                 arc(0.46, 0.32, 0.14, 0.18, 180, 0) + [(0.60, 0.0)]]),
    "n": (0.48, [[(0.04, 0.5), (0.04, 0.0)], arc(0.22, 0.3, 0.18, 0.2, 180, 0) + [(0.40, 0.0)]]),
    "o": (0.5, [ellipse(0.245, 0.25, 0.215, 0.255)]),
    "p": (0.5, [[(0.04, 0.5), (0.04, -0.22)], ellipse(0.24, 0.25, 0.2, 0.255)]),
    "q": (0.5, [BOWL, [(0.43, 0.5), (0.43, -0.22)]]),
    "r": (0.33, [[(0.04, 0.5), (0.04, 0.0)], arc(0.24, 0.28, 0.2, 0.22, 180, 70)]),
    "s": (0.42, [arc(0.2, 0.375, 0.16, 0.125, 25, 270) + arc(0.2, 0.125, 0.17, 0.125, 90, -155)[1:]]),
    "t": (0.32, [[(0.13, 0.68), (0.13, 0.1)] + arc(0.25, 0.1, 0.12, 0.1, 180, 290)[1:], [(0.0, 0.5), (0.3, 0.5)]]),
    "u": (0.48, [[(0.04, 0.5)] + arc(0.22, 0.2, 0.18, 0.2, 180, 360), [(0.40, 0.5), (0.40, 0.0)]]),
    "v": (0.44, [[(0.0, 0.5), (0.22, 0.0), (0.44, 0.5)]]),
    "w": (0.62, [[(0.0, 0.5), (0.15, 0.0), (0.31, 0.45), (0.47, 0.0), (0.62, 0.5)]]),
    "x": (0.44, [[(0.02, 0.5), (0.42, 0.0)], [(0.02, 0.0), (0.42, 0.5)]]),
    "y": (0.44, [[(0.0, 0.5), (0.22, 0.0)], [(0.44, 0.5), (0.14, -0.22)]]),
    "z": (0.45, [[(0.03, 0.5), (0.41, 0.5), (0.03, 0.0), (0.42, 0.0)]]),
    "A": (0.58, [[(0.0, 0.0), (0.29, 0.72), (0.58, 0.0)], [(0.11, 0.26), (0.47, 0.26)]]),
    "C": (0.6, [arc(0.34, 0.36, 0.3, 0.36, 40, 320)]),
    "D": (0.6, [[(0.05, 0.0), (0.05, 0.72), (0.24, 0.72)] + arc(0.24, 0.36, 0.3, 0.36, 90, -90) + [(0.05, 0.0)]]),
    "E": (0.48, [[(0.44, 0.72), (0.05, 0.72), (0.05, 0.0), (0.44, 0.0)], [(0.05, 0.37), (0.38, 0.37)]]),
    "G": (0.64, [arc(0.34, 0.36, 0.3, 0.36, 40, 360) + [(0.64, 0.3)], [(0.64, 0.33), (0.42, 0.33)]]),
    "I": (0.14, [[(0.05, 0.0), (0.05, 0.72)]]),
    "M": (0.7, [[(0.05, 0.0), (0.05, 0.72), (0.35, 0.18), (0.65, 0.72), (0.65, 0.0)]]),
    "P": (0.5, [[(0.05, 0.0), (0.05, 0.72), (0.26, 0.72)] + arc(0.26, 0.53, 0.19, 0.19, 90, -90) + [(0.05, 0.34)]]),
    "R": (0.52, [[(0.05, 0.0), (0.05, 0.72), (0.26, 0.72)] + arc(0.26, 0.53, 0.19, 0.19, 90, -90) + [(0.05, 0.34)],
                 [(0.24, 0.34), (0.46, 0.0)]]),
    "S": (0.5, [arc(0.25, 0.54, 0.2, 0.18, 25, 270) + arc(0.25, 0.18, 0.21, 0.18, 90, -155)[1:]]),
    "T": (0.5, [[(0.0, 0.72), (0.5, 0.72)], [(0.25, 0.72), (0.25, 0.0)]]),
    "U": (0.56, [[(0.05, 0.72)] + arc(0.28, 0.22, 0.23, 0.22, 180, 360) + [(0.51, 0.72)]]),
    "W": (0.72, [[(0.0, 0.72), (0.18, 0.0), (0.36, 0.58), (0.54, 0.0), (0.72, 0.72)]]),
    "1": (0.36, [[(0.04, 0.56), (0.2, 0.72), (0.2, 0.0)]]),
    "2": (0.46, [arc(0.22, 0.53, 0.19, 0.19, 160, -35) + [(0.03, 0.0), (0.44, 0.0)]]),
    "+": (0.5, [[(0.05, 0.3), (0.45, 0.3)], [(0.25, 0.1), (0.25, 0.5)]]),
    "/": (0.32, [[(0.0, -0.08), (0.32, 0.78)]]),
    "-": (0.34, [[(0.04, 0.3), (0.3, 0.3)]]),
    ".": (0.12, [[(0.05, 0.0)]]),
}


def text_width(text, size, tracking=0.08):
    return sum((GLYPHS[ch][0] + tracking) * size for ch in text) - tracking * size


def draw_text(canvas, text, x, baseline, size, weight, colour, alpha=1.0, tracking=0.08):
    """size: pixels per glyph unit (the x-height is half of it)."""
    cover = canvas.new_cover()
    for ch in text:
        advance, lines = GLYPHS[ch]
        for points in lines:
            canvas.polyline(cover, [(x + px * size, baseline - py * size) for px, py in points], weight)
        x += (advance + tracking) * size
    canvas.paint(cover, colour, alpha)
    return x


def about_bitmap():
    W, H = 600, 400
    c = Canvas(W, H)
    # A flat background: where the About box is larger than the picture, the
    # static control fills the rest with the picture's top-left colour, so
    # the edges must all be that colour. The glow stays clear of the sides.
    c.vertical_gradient(BACKGROUND, BACKGROUND)
    c.glow(390, 130, 210, (70, 120, 190), 0.4)

    ink = (244, 247, 252)
    soft = (170, 190, 220)
    gold = (250, 204, 72)

    # Title with a soft shadow, and the star that marks the selected group.
    draw_text(c, "Pelorine", 50, 128, 88, 10.5, (5, 12, 30), 0.45)
    end = draw_text(c, "Pelorine", 47, 125, 88, 10.5, ink)
    c.polygon(star_points(end + 26, 72, 20, 8.5, rotation=-90), gold)
    draw_text(c, "a keyboard task switcher with groups", 52, 160, 26, 2.3, soft)
    c.line([(50, 184), (550, 184)], 1.2, (110, 140, 190), 0.7)

    # The tree of groups, as the switcher shows it.
    card = (50, 206, 300, 372)
    c.rounded_rect(card[0] + 3, card[1] + 5, card[2] + 3, card[3] + 5, 10, (0, 0, 0), 0.35)
    c.rounded_rect(*card, 10, (250, 251, 253))
    rows = [
        (0, "group", "Root Group", False, True),
        (1, "window", "Editor", False, False),
        (1, "group", "Group 1", False, False),
        (2, "window", "Mail", True, False),
        (2, "window", "Terminal", False, False),
        (1, "group", "Group 2", False, False),
    ]
    tree_ink = (40, 48, 64)
    line_grey = (165, 172, 186)
    x_base, y_base, step, indent = card[0] + 36, card[1] + 24, 25, 24
    for n, (depth, kind, label, arrow, star) in enumerate(rows):
        cx = x_base + depth * indent
        cy = y_base + n * step
        if depth > 0:
            parent_x = x_base + (depth - 1) * indent
            c.line([(parent_x, cy), (cx - 9, cy)], 1.2, line_grey)
        if kind == "group":
            c.rounded_rect(cx - 8, cy - 8, cx + 8, cy + 8, 1.5, (130, 136, 148))
            c.rounded_rect(cx - 6.8, cy - 6.8, cx + 6.8, cy + 6.8, 1, (255, 255, 255))
            for dy, w in ((-3.5, 9), (0, 6), (3.5, 8)):
                c.line([(cx - 4, cy + dy), (cx - 4 + w, cy + dy)], 1.3, (70, 70, 70))
        else:
            hue = {"Editor": (70, 140, 220), "Mail": (226, 112, 70), "Terminal": (60, 170, 120)}[label]
            c.rounded_rect(cx - 8, cy - 7, cx + 8, cy + 7, 2, hue)
            c.rounded_rect(cx - 6.5, cy - 3.5, cx + 6.5, cy + 5.5, 1, (255, 255, 255))
        if arrow:
            c.polygon([(cx - 40, cy - 2), (cx - 27, cy - 2), (cx - 27, cy - 6), (cx - 20, cy),
                       (cx - 27, cy + 6), (cx - 27, cy + 2), (cx - 40, cy + 2)], (20, 20, 20))
        if star:
            c.polygon(star_points(cx - 24, cy, 8, 3.5), (20, 20, 20))
        draw_text(c, label, cx + 15, cy + 5, 15, 1.45, tree_ink)
    # trunk lines from each group to its children
    c.line([(x_base, y_base + 9), (x_base, y_base + 5 * step)], 1.2, line_grey)
    c.line([(x_base + indent, y_base + 2 * step + 9), (x_base + indent, y_base + 4 * step)], 1.2, line_grey)

    # The keys, on the right.
    keys = [
        ("Alt+Tab", "next window"),
        ("Alt+Up / Down", "other group"),
        ("Alt+Insert", "new group"),
        ("Alt+Delete", "close a group"),
        ("Alt+Esc", "put it all back"),
    ]
    y = 228
    for key, meaning in keys:
        draw_text(c, key, 330, y, 17, 1.8, ink)
        draw_text(c, meaning, 462, y, 15, 1.4, soft)
        y += 27
    draw_text(c, "click to close", 550 - text_width("click to close", 14), 382, 14, 1.3, soft, 0.8)
    return c.rows()


# --------------------------------------------------------------------------


OUT = HERE


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def main():
    global OUT
    if "--out" in sys.argv:
        OUT = sys.argv[sys.argv.index("--out") + 1]
        os.makedirs(OUT, exist_ok=True)
    write("group.bmp", bmp_24(16, 16, group_bitmap()))
    write("arrow.bmp", bmp_24(16, 16, arrow_bitmap()))
    palette, rows = star_bitmap()
    write("star.bmp", bmp_8(16, 16, palette, rows))
    write("pelorine.ico", ico_16_colours([(16, icon_image(16)), (32, icon_image(32))]))
    if "--no-about" not in sys.argv:
        write("about.bmp", bmp_24(600, 400, about_bitmap()))


if __name__ == "__main__":
    main()
