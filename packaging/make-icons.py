#!/usr/bin/env python3
"""Writes the application icon: a scalable SVG and PNGs of 48, 64, 128 and
256 pixels, drawn from the same shapes (a map of dungeon cells: walls, a
lit corridor, a door and an item). Run it again after changing the shapes;
its output is kept in the repository so that the build needs no drawing tool."""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "icons")
ID = "org.kestrune.editor"

# Shapes on a 64-unit canvas: (kind, colour, geometry).
BACK = "#2e2a3a"
SHAPES = [("round", BACK, (0, 0, 64, 64, 10))]
WALL, FLOOR, EDGE = "#8d929c", "#d8c38c", "#5f6470"
LAYOUT = [
    "WWWW",
    "FFFW",
    "WDFW",
    "WFFF",
]
for row, line in enumerate(LAYOUT):
    for col, c in enumerate(line):
        x, y = 6 + col * 13, 6 + row * 13
        SHAPES.append(("rect", EDGE, (x, y, 13, 13)))
        if c == "W":
            SHAPES.append(("rect", WALL, (x + 1, y + 1, 11, 11)))
            SHAPES.append(("rect", EDGE, (x + 1, y + 6, 11, 1)))
        else:
            SHAPES.append(("rect", FLOOR, (x + 1, y + 1, 11, 11)))
            if c == "D":
                SHAPES.append(("rect", "#9b3b2f", (x + 3, y + 2, 7, 10)))
SHAPES.append(("circle", "#f2c230", (6 + 2 * 13 + 6.5, 6 + 3 * 13 + 6.5, 3.5)))


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def inside(kind, geo, px, py):
    if kind == "rect":
        x, y, w, h = geo
        return x <= px < x + w and y <= py < y + h
    if kind == "circle":
        cx, cy, r = geo
        return (px - cx) ** 2 + (py - cy) ** 2 <= r * r
    x, y, w, h, r = geo  # rounded square
    if not (x <= px < x + w and y <= py < y + h):
        return False
    cx = min(max(px, x + r), x + w - r)
    cy = min(max(py, y + r), y + h - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def png(size):
    # 4 x 4 samples per pixel: smooth edges without a drawing library.
    n = 4
    rows = []
    for py in range(size):
        row = bytearray([0])
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    u = (px + (sx + 0.5) / n) * 64 / size
                    v = (py + (sy + 0.5) / n) * 64 / size
                    colour = None
                    for kind, c, geo in SHAPES:
                        if inside(kind, geo, u, v):
                            colour = c
                    if colour:
                        r, g, b = rgb(colour)
                        acc[0] += r
                        acc[1] += g
                        acc[2] += b
                        acc[3] += 255
            k = n * n
            a = acc[3] // k
            if a:
                row += bytes([acc[0] * 255 // acc[3], acc[1] * 255 // acc[3], acc[2] * 255 // acc[3], a])
            else:
                row += bytes(4)
        rows.append(bytes(row))

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def svg():
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">']
    for kind, c, geo in SHAPES:
        if kind == "round":
            x, y, w, h, r = geo
            parts.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="{c}"/>')
        elif kind == "rect":
            x, y, w, h = geo
            parts.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" fill="{c}"/>')
        else:
            cx, cy, r = geo
            parts.append(f'  <circle cx="{cx}" cy="{cy}" r="{r}" fill="{c}"/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


os.makedirs(OUT, exist_ok=True)
with open(os.path.join(OUT, ID + ".svg"), "w") as f:
    f.write(svg())
for size in (48, 64, 128, 256):
    with open(os.path.join(OUT, f"{ID}-{size}.png"), "wb") as f:
        f.write(png(size))
