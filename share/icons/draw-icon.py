#!/usr/bin/env python3
"""Draws the application icon: a small TV set whose screen shows a programme
listing (a time column and title bars). Writes one palette PNG per size into
hicolor/<n>x<n>/apps/brevan.png beside this script. Standard library only, so
the pictures can be redrawn anywhere; the PNGs are kept in the repository.
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


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for size in (16, 32, 48):
        write_png(os.path.join(here, "hicolor", f"{size}x{size}", "apps", "brevan.png"), draw(size))
