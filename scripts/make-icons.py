#!/usr/bin/env python3
"""Draws the button images of the user interface into resources/images/.

Run once after changing a drawing; the PNG files are committed. Only the
standard library is used: every image is a list of simple shapes rasterised
with 4 x 4 supersampling and written as an 8-bit RGBA PNG. Images are drawn at
twice the size the QML shows them, so they stay sharp on high-DPI screens.
"""

import math
import os
import struct
import sys
import zlib

SAMPLES = 4

WHITE = (255, 255, 255, 255)
DARK = (64, 64, 72, 255)          # the left column's group colour
GREY = (120, 120, 128, 255)
LIGHT = (221, 221, 221, 255)      # page border
ORANGE = (237, 107, 21, 255)      # slider handle and checked box
HALO = (255, 255, 255, 215)       # round backing of the view buttons


# Shapes: each answers whether a point (x, y) lies inside it.

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width, start=0.0, end=360.0):
    """A circle line of the given width; angles in degrees, counter-clockwise
    from +x with y pointing down the image (so 90 is straight down)."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > width / 2:
            return False
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360.0
        return start <= a <= end if start <= end else (a >= start or a <= end)
    return inside


def segment(x1, y1, x2, y2, width):
    """A line with round caps."""
    dx, dy = x2 - x1, y2 - y1
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / length2))
        px, py = x1 + t * dx, y1 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def polyline(points, width):
    parts = [segment(*points[i], *points[i + 1], width) for i in range(len(points) - 1)]
    return lambda x, y: any(p(x, y) for p in parts)


def polygon(points):
    """Filled polygon, even-odd rule."""
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def rounded_rect(x1, y1, x2, y2, r):
    def inside(x, y):
        if not (x1 <= x <= x2 and y1 <= y <= y2):
            return False
        cx = min(max(x, x1 + r), x2 - r)
        cy = min(max(y, y1 + r), y2 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def rect_outline(x1, y1, x2, y2, r, width):
    outer = rounded_rect(x1 - width / 2, y1 - width / 2, x2 + width / 2, y2 + width / 2, r + width / 2)
    inner = rounded_rect(x1 + width / 2, y1 + width / 2, x2 - width / 2, y2 - width / 2, max(0.0, r - width / 2))
    return lambda x, y: outer(x, y) and not inner(x, y)


def arrow_head(tip_x, tip_y, angle_deg, length, half_width):
    """Filled triangle pointing along angle_deg (image coordinates)."""
    a = math.radians(angle_deg)
    ux, uy = math.cos(a), math.sin(a)
    bx, by = tip_x - ux * length, tip_y - uy * length
    return polygon([(tip_x, tip_y), (bx - uy * half_width, by + ux * half_width),
                    (bx + uy * half_width, by - ux * half_width)])


# Rendering

def render(width, height, layers):
    """layers: list of (colour, shape), painted in order."""
    rows = []
    for py in range(height):
        row = bytearray()
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    r = g = b = a = 0.0
                    for colour, shape in layers:
                        if shape(x, y):
                            ca = colour[3] / 255.0
                            r = colour[0] * ca + r * (1 - ca)
                            g = colour[1] * ca + g * (1 - ca)
                            b = colour[2] * ca + b * (1 - ca)
                            a = ca + a * (1 - ca)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha <= 0:
                row += bytes(4)
            else:
                row += bytes([min(255, round(acc[0] / n / alpha)), min(255, round(acc[1] / n / alpha)),
                              min(255, round(acc[2] / n / alpha)), min(255, round(alpha * 255))])
        rows.append(bytes(row))
    return rows


def write_png(path, width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


# The drawings. Left column icons: white on the dark group, 80 x 80.

def info():
    return [(WHITE, ring(40, 40, 29, 5)),
            (WHITE, circle(40, 25, 4.5)),
            (WHITE, segment(40, 36, 40, 56, 8))]


def move():
    shapes = [(WHITE, segment(18, 40, 62, 40, 5)), (WHITE, segment(40, 18, 40, 62, 5))]
    for tip_x, tip_y, angle in ((70, 40, 0), (10, 40, 180), (40, 10, 270), (40, 70, 90)):
        shapes.append((WHITE, arrow_head(tip_x, tip_y, angle, 13, 9)))
    return shapes


def scale():
    return [(WHITE, rect_outline(12, 40, 40, 68, 3, 5)),
            (WHITE, rect_outline(12, 12, 68, 68, 4, 2.5)),
            (WHITE, segment(30, 50, 56, 24, 5)),
            (WHITE, arrow_head(64, 16, 315, 16, 9))]


def rotate():
    return [(WHITE, ring(40, 40, 24, 6, 30, 318)),
            (WHITE, arrow_head(66, 36, 72, 18, 11))]


def flip():
    shapes = [(WHITE, polygon([(34, 16), (34, 64), (10, 64)])),
              (WHITE, polyline([(46, 16), (46, 64), (70, 64), (46, 16)], 4))]
    for y in range(8, 76, 12):
        shapes.append((WHITE, segment(40, y, 40, y + 6, 3)))
    return shapes


def copy():
    return [(WHITE, rect_outline(12, 12, 48, 52, 4, 5)),
            (DARK, rounded_rect(26, 26, 70, 70, 5)),
            (WHITE, rect_outline(30, 30, 66, 68, 4, 5)),
            (WHITE, segment(48, 40, 48, 58, 5)),
            (WHITE, segment(39, 49, 57, 49, 5))]


def support():
    shapes = [(WHITE, rounded_rect(12, 10, 68, 26, 3)), (WHITE, rounded_rect(8, 64, 72, 70, 2))]
    for x in (22, 40, 58):
        shapes.append((WHITE, polygon([(x - 2, 26), (x + 2, 26), (x + 3.5, 32), (x - 3.5, 32)])))
        shapes.append((WHITE, segment(x, 30, x, 60, 4)))
        shapes.append((WHITE, polygon([(x - 2, 56), (x + 2, 56), (x + 6, 64), (x - 6, 64)])))
    return shapes


def layout():
    return [(WHITE, rounded_rect(10, 10, 36, 40, 3)),
            (WHITE, rounded_rect(42, 10, 70, 30, 3)),
            (WHITE, rounded_rect(42, 36, 70, 70, 3)),
            (WHITE, rounded_rect(10, 46, 36, 70, 3))]


def slice_layers():
    shapes = []
    for i, y in enumerate((14, 30, 46)):
        top, bottom = y, y + 12
        shapes.append((WHITE, polygon([(24, top), (70, top), (56, bottom), (10, bottom)])))
    shapes.append((ORANGE, segment(6, 67, 74, 67, 5)))
    return shapes


# View buttons: dark glyph on a round white backing, readable over the scene.

def magnifier(plus):
    shapes = [(HALO, circle(40, 40, 39)),
              (DARK, ring(35, 35, 17, 6)),
              (DARK, segment(48, 48, 64, 64, 9)),
              (DARK, segment(26, 35, 44, 35, 5))]
    if plus:
        shapes.append((DARK, segment(35, 26, 35, 44, 5)))
    return shapes


def view_home():
    return [(HALO, circle(50, 50, 49)),
            (DARK, polygon([(50, 20), (80, 48), (72, 48), (72, 78), (56, 78), (56, 60), (44, 60), (44, 78),
                            (28, 78), (28, 48), (20, 48)]))]


# Small parts.

def reset():  # white on the orange reset button, 48 x 48
    return [(WHITE, ring(24, 25, 14, 5, 300, 200)),
            (WHITE, arrow_head(6, 20, 100, 12, 8))]


def leftarrow():  # 20 x 40: the page's pointer towards its button
    return [(LIGHT, polygon([(0, 20), (21, 0), (21, 40)])),
            (WHITE, polygon([(2.5, 20), (21, 2.5), (21, 37.5)]))]


def arrow():  # 32 x 20: the drawer's chevron, pointing down while closed
    return [(GREY, polyline([(6, 5), (16, 15), (26, 5)], 4))]


def layer_glyph(colour):
    shapes = []
    for y in (18, 32, 46):
        shapes.append((colour, polygon([(30, y), (66, y), (50, y + 10), (14, y + 10)])))
    return shapes


def show_slice():  # 80 x 80, checked
    return [(ORANGE, rounded_rect(2, 2, 78, 78, 10))] + layer_glyph(WHITE)


def show_slice_unchecked():
    return [(GREY, rounded_rect(2, 2, 78, 78, 10)), (WHITE, rounded_rect(6, 6, 74, 74, 7))] + layer_glyph(GREY)


def slice_tip_arrow():  # 120 x 60: the layer number's box, pointing at the handle
    return [(DARK, rounded_rect(0, 4, 104, 56, 8)),
            (DARK, polygon([(100, 16), (120, 30), (100, 44)]))]


IMAGES = {
    "info": (80, 80, info),
    "move": (80, 80, move),
    "scale": (80, 80, scale),
    "rotate": (80, 80, rotate),
    "flip": (80, 80, flip),
    "copy": (80, 80, copy),
    "support": (80, 80, support),
    "layout": (80, 80, layout),
    "slice": (80, 80, slice_layers),
    # The "+" button (zoomOut brings the scene closer) shows zoom_out, the "-" button zoom_in.
    "zoom_out": (80, 80, lambda: magnifier(True)),
    "zoom_in": (80, 80, lambda: magnifier(False)),
    "view_home": (100, 100, view_home),
    "reset": (48, 48, reset),
    "leftarrow": (20, 40, leftarrow),
    "arrow": (32, 20, arrow),
    "show_slice": (80, 80, show_slice),
    "show_slice_unchecked": (80, 80, show_slice_unchecked),
    "slice_tip_arrow": (120, 60, slice_tip_arrow),
}


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "images")
    os.makedirs(out, exist_ok=True)
    names = sys.argv[1:] or sorted(IMAGES)
    for name in names:
        width, height, drawing = IMAGES[name]
        write_png(os.path.join(out, name + ".png"), width, height, render(width, height, drawing()))
        print("wrote", name + ".png")


if __name__ == "__main__":
    main()
