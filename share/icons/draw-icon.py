#!/usr/bin/env python3
"""Draws the application icon: a small TV set whose screen shows a programme
listing (a time column and title bars). One set of shapes on a 48-unit grid
gives every picture beside this script:
- hicolor/scalable/apps/brevan.svg, the shapes as they are;
- hicolor/<n>x<n>/apps/brevan.png for 16, 32 and 48, palette pictures snapped
  to whole pixels by hand-tuned rules, so that they stay sharp when small;
- the same for 64, 128 and 256, drawn smooth (each pixel covered in part
  takes part of the colour), as the SVG renders.
Standard library only, so the pictures can be redrawn anywhere; they are kept
in the repository.
"""
import os
import struct
import zlib

# Palette index -> RGBA. Index 0 is transparent.
PALETTE = [
    (0, 0, 0, 0),          # 0 transparent
    (46, 52, 64, 255),     # 1 cabinet
    (30, 90, 168, 255),    # 2 screen
    (242, 193, 78, 255),   # 3 time column
    (232, 238, 247, 255),  # 4 title bars
    (120, 128, 140, 255),  # 5 stand
    (90, 140, 210, 255),   # 6 screen highlight line
]

# Shapes on a 48-unit grid: (colour, left, top, right, bottom), right/bottom
# exclusive. Each size scales them and rounds to whole pixels.
SHAPES_COMMON = [
    (5, 20, 38, 28, 42),   # neck
    (5, 12, 42, 36, 45),   # foot
    (1, 2, 6, 46, 39),     # cabinet
    (2, 6, 10, 42, 35),    # screen
]
LISTING_ROWS = [  # (top, bottom, title bar right edge)
    (13, 17, 39),
    (20, 24, 33),
    (27, 31, 37),
]
ANTENNA = [(16, 0), (24, 6), (32, 0)]  # two rods meeting at the cabinet top


def scale(v, n):
    return int(round(v * n / 48.0))


def draw(n):
    px = [[0] * n for _ in range(n)]

    def rect(colour, l, t, r, b):
        for y in range(max(0, scale(t, n)), min(n, max(scale(b, n), scale(t, n) + 1))):
            for x in range(max(0, scale(l, n)), min(n, max(scale(r, n), scale(l, n) + 1))):
                px[y][x] = colour

    def line(x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            if 0 <= x < n and 0 <= y < n:
                px[y][x] = colour

    if n >= 32:
        top = (scale(ANTENNA[1][0], n), scale(ANTENNA[1][1], n))
        line(scale(ANTENNA[0][0], n), scale(ANTENNA[0][1], n), *top, 5)
        line(scale(ANTENNA[2][0], n), scale(ANTENNA[2][1], n), *top, 5)
        if n >= 48:  # rods two pixels thick at the largest size
            line(scale(ANTENNA[0][0], n) + 1, scale(ANTENNA[0][1], n), top[0] + 1, top[1], 5)
            line(scale(ANTENNA[2][0], n) - 1, scale(ANTENNA[2][1], n), top[0] - 1, top[1], 5)
    for shape in SHAPES_COMMON:
        rect(*shape)
    rows = LISTING_ROWS if n >= 32 else LISTING_ROWS[::2]
    gap_left = 16 if n >= 32 else 15.5  # keeps a one-pixel gap at 16 x 16
    for t, b, right in rows:
        rect(3, 9, t, 13.4, b)
        rect(4, gap_left, t, right, b)
    if n >= 32:  # a lighter line under the cabinet's top edge of the screen
        rect(6, 6, 10, 42, 10.5 if n < 48 else 11)
    return px


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, px):
    n = len(px)
    raw = b"".join(b"\x00" + bytes(row) for row in px)
    plte = b"".join(bytes(c[:3]) for c in PALETTE)
    trns = bytes(c[3] for c in PALETTE)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 3, 0, 0, 0))
    png += chunk(b"PLTE", plte)
    png += chunk(b"tRNS", trns)
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(png)


# The shapes at their exact places, for the SVG and the smooth pictures:
# ("rect", colour, l, t, r, b) or ("line", colour, x0, y0, x1, y1, width), in
# drawing order. The hand-tuned small pictures above round the same numbers.
ROD_WIDTH = 2


def exact_shapes():
    shapes = [("line", 5, *ANTENNA[0], *ANTENNA[1], ROD_WIDTH), ("line", 5, *ANTENNA[2], *ANTENNA[1], ROD_WIDTH)]
    shapes += [("rect", *shape) for shape in SHAPES_COMMON]
    for t, b, right in LISTING_ROWS:
        shapes += [("rect", 3, 9, t, 13.4, b), ("rect", 4, 16, t, right, b)]
    shapes.append(("rect", 6, 6, 10, 42, 11))
    return shapes


def svg_text():
    def colour(index):
        r, g, b, _ = PALETTE[index]
        return f"#{r:02x}{g:02x}{b:02x}"

    body = []
    for shape in exact_shapes():
        if shape[0] == "rect":
            _, c, l, t, r, b = shape
            body.append(f'  <rect x="{l:g}" y="{t:g}" width="{r - l:g}" height="{b - t:g}" fill="{colour(c)}"/>')
        else:
            _, c, x0, y0, x1, y1, w = shape
            body.append(f'  <line x1="{x0:g}" y1="{y0:g}" x2="{x1:g}" y2="{y1:g}" stroke="{colour(c)}" '
                        f'stroke-width="{w:g}"/>')
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">\n'
            + "\n".join(body) + "\n</svg>\n")


def covers(shape, x, y):
    """Whether the point (x, y), in grid units, lies in the shape."""
    if shape[0] == "rect":
        _, _, l, t, r, b = shape
        return l <= x < r and t <= y < b
    _, _, x0, y0, x1, y1, w = shape
    dx, dy = x1 - x0, y1 - y0
    along = ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)
    if not 0 <= along <= 1:  # butt ends, as SVG draws a line by default
        return False
    return abs((x - x0) * dy - (y - y0) * dx) / (dx * dx + dy * dy) ** 0.5 <= w / 2


def draw_smooth(n, samples=4):
    """RGBA rows: each shape painted over the ones before, a pixel taking the
    share of its samples that the shape covers."""
    unit = 48.0 / n
    px = [[(0.0, 0.0, 0.0, 0.0)] * n for _ in range(n)]
    for shape in exact_shapes():
        if shape[0] == "rect":
            l, t, r, b = shape[2:6]
        else:
            x0, y0, x1, y1, w = shape[2:7]
            l, t, r, b = min(x0, x1) - w, min(y0, y1) - w, max(x0, x1) + w, max(y0, y1) + w
        red, green, blue, _ = PALETTE[shape[1]]
        for py in range(max(0, int(t / unit)), min(n, int(b / unit) + 1)):
            for qx in range(max(0, int(l / unit)), min(n, int(r / unit) + 1)):
                hits = sum(covers(shape, (qx + (i + 0.5) / samples) * unit, (py + (j + 0.5) / samples) * unit)
                           for i in range(samples) for j in range(samples))
                a = hits / (samples * samples)
                if a == 0:
                    continue
                pr, pg, pb, pa = px[py][qx]
                out = a + pa * (1 - a)
                px[py][qx] = tuple((c * a + d * pa * (1 - a)) / out for c, d in ((red, pr), (green, pg), (blue, pb))) + (out,)
    return [bytes(round(v * 255) if k == 3 else round(v) for p in row for k, v in enumerate(p)) for row in px]


def write_rgba_png(path, rows):
    n = len(rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(b"\x00" + row for row in rows), 9))
    png += chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    def target(size):
        return os.path.join(here, "hicolor", f"{size}x{size}", "apps", "brevan.png")
    for size in (16, 32, 48):
        write_png(target(size), draw(size))
    for size in (64, 128, 256):
        write_rgba_png(target(size), draw_smooth(size))
    svg = os.path.join(here, "hicolor", "scalable", "apps", "brevan.svg")
    os.makedirs(os.path.dirname(svg), exist_ok=True)
    with open(svg, "w") as f:
        f.write(svg_text())
