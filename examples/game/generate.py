#!/usr/bin/env python3
"""Writes the sample game installation that lives beside this script.

    python3 generate.py            rewrites data/ and demo.game/ from scratch
    python3 generate.py --check    reads every written file back and checks it

Everything below data/ and demo.game/ is produced here: the element libraries,
the maps, the NPCs, the game parameters and every picture (drawn procedurally).
The output is the same byte for byte on every run. Only the Python standard
library is used, plus `cjpeg` (Debian package libjpeg-turbo-progs) for the
JPEG pictures.
"""

from __future__ import annotations

import argparse
import math
import shutil
import struct
import subprocess
import sys
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
DATA = HERE / "data"
PROJECT = HERE / "demo.game"
DEF_FILE = HERE.parent.parent / "resources" / "qv5game.def"

# ============================================================== helpers


class Rng:
    """A small xorshift generator, so that the output never depends on the
    random module of a particular Python version."""

    def __init__(self, seed: int):
        self.s = (seed * 2654435761 + 0x9E3779B9) & 0xFFFFFFFF or 1

    def next(self) -> int:
        x = self.s
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.s = x
        return x

    def rand(self, n: int) -> int:
        return self.next() % n

    def between(self, lo: int, hi: int) -> int:
        return lo + self.rand(hi - lo + 1)

    def uniform(self) -> float:
        return self.next() / 4294967296.0


def b(text: str) -> bytes:
    """Game texts are 8-bit (Latin-1)."""
    return text.encode("latin-1")


def script(*lines: str) -> str:
    """A QV5Lang script; lines are joined with CR LF."""
    return "\r\n".join(lines)


def reply(text: str) -> str:
    """An NPC's key word entry: the script that answers the word."""
    return f'Npc.Say("{text}", 4);'


# ============================================================== file forms

AB = b"\xab"
CRLF = b"\r\n"


def check_token(text: str, what: str) -> None:
    raw = b(text)
    if not raw:
        raise ValueError(f"empty {what}")
    if AB in raw:
        raise ValueError(f"{what} holds the byte AB: {text!r}")
    if raw[:1] in (b" ", b"\r", b"\n") or raw[-1:] in (b" ", b"\r", b"\n"):
        raise ValueError(f"{what} begins or ends with white space: {text!r}")


def text_pairs(pairs) -> bytes:
    out = bytearray()
    for name, value in pairs:
        check_token(name, "name")
        check_token(value, f"value of {name}")
        if name.startswith("#"):
            raise ValueError(f"name starts with #: {name!r}")
        out += CRLF + b(name) + AB + b(value) + AB
    out += CRLF + AB
    return bytes(out)


def counted(text: str) -> bytes:
    raw = b(text)
    if len(raw) < 255:
        return bytes([len(raw)]) + raw
    return b"\xff" + struct.pack("<H", len(raw)) + raw


def counted_pairs(pairs) -> bytes:
    out = bytearray()
    for name, value in pairs:
        if not name or not value:
            raise ValueError(f"empty name or value: {name!r}")
        out += counted(name) + counted(value)
    out += b"\x00"
    return bytes(out)


# Pattern sizes per library: (rows, columns).
PATTERN_SIZE = {"walls": (4, 11), "floors": (11, 11), "ceilings": (11, 11), "objects": (11, 11),
                "items": (0, 0), "monsters": (0, 0), "npcs": (0, 0)}
PATTERN_CHARS = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"


class Element:
    def __init__(self, name, params, events=(), pattern=None, keywords=None):
        self.name = name
        self.params = list(params)
        self.events = list(events)
        self.pattern = pattern or []
        self.keywords = keywords


def library_bytes(kind: str, elements) -> bytes:
    rows, cols = PATTERN_SIZE[kind]
    out = bytearray()
    for e in sorted(elements, key=lambda e: b(e.name)):
        check_token(e.name, "element name")
        out += b(e.name) + AB
        if len(e.pattern) != rows:
            raise ValueError(f"{e.name}: {len(e.pattern)} pattern rows, {rows} wanted")
        for row in e.pattern:
            if len(row) != cols or any(c not in PATTERN_CHARS[:34] for c in row):
                raise ValueError(f"{e.name}: bad pattern row {row!r}")
            out += CRLF + b"#" + b(row) + AB
        out += text_pairs(e.params)
        out += text_pairs(e.events)
        if kind == "npcs":
            out += text_pairs(sorted(e.keywords or [], key=lambda kv: b(kv[0])))
    out += CRLF + AB
    return bytes(out)


# ============================================================== pictures


def clamp(v) -> int:
    v = int(round(v))
    return 0 if v < 0 else 255 if v > 255 else v


def mul(c, f):
    return tuple(clamp(ch * f) for ch in c[:3])


def mix(a, c, t):
    t = 0.0 if t < 0 else 1.0 if t > 1 else t
    return tuple(clamp(a[i] + (c[i] - a[i]) * t) for i in range(3))


def jitter(c, rng: Rng, amount: int):
    d = rng.rand(2 * amount + 1) - amount
    return tuple(clamp(ch + d) for ch in c[:3])


class Canvas:
    def __init__(self, w: int, h: int, bg=(0, 0, 0, 0)):
        self.w, self.h = w, h
        bg = tuple(bg) if len(bg) == 4 else tuple(bg) + (255,)
        self.px = [bg] * (w * h)

    def get(self, x, y):
        return self.px[y * self.w + x]

    def put(self, x, y, c):
        if not (0 <= x < self.w and 0 <= y < self.h):
            return
        if len(c) == 3 or c[3] >= 255:
            self.px[y * self.w + x] = (c[0], c[1], c[2], 255)
            return
        a = c[3] / 255.0
        if a <= 0:
            return
        r0, g0, b0, a0 = self.px[y * self.w + x]
        a0 /= 255.0
        out_a = a + a0 * (1 - a)
        col = [(c[i] * a + (r0, g0, b0)[i] * a0 * (1 - a)) / out_a for i in range(3)]
        self.px[y * self.w + x] = (clamp(col[0]), clamp(col[1]), clamp(col[2]), clamp(out_a * 255))

    def erase(self, x, y):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = (0, 0, 0, 0)

    def fill(self, fn):
        for y in range(self.h):
            for x in range(self.w):
                self.put(x, y, fn(x, y))

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h - 1, y1) + 1):
            for x in range(max(0, x0), min(self.w - 1, x1) + 1):
                self.put(x, y, c(x, y) if callable(c) else c)

    def ellipse(self, cx, cy, rx, ry, c):
        """Fills an ellipse; c may be a colour or fn(x, y, dx, dy) with dx, dy in -1..1."""
        for y in range(int(cy - ry) - 1, int(cy + ry) + 2):
            for x in range(int(cx - rx) - 1, int(cx + rx) + 2):
                dx = (x + 0.5 - cx) / rx
                dy = (y + 0.5 - cy) / ry
                if dx * dx + dy * dy <= 1.0:
                    self.put(x, y, c(x, y, dx, dy) if callable(c) else c)

    def line(self, x0, y0, x1, y1, c, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1) * 2
        r = (width - 1) / 2.0
        done = set()
        for i in range(int(steps) + 1):
            t = i / steps
            x = x0 + (x1 - x0) * t
            y = y0 + (y1 - y0) * t
            for yy in range(int(math.floor(y - r)), int(math.floor(y + r)) + 1):
                for xx in range(int(math.floor(x - r)), int(math.floor(x + r)) + 1):
                    if (xx, yy) not in done:
                        done.add((xx, yy))
                        self.put(xx, yy, c)

    def polygon(self, pts, c):
        ys = [p[1] for p in pts]
        for y in range(max(0, int(min(ys))), min(self.h - 1, int(max(ys))) + 1):
            yc = y + 0.5
            xs = []
            for i in range(len(pts)):
                (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % len(pts)]
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for i in range(0, len(xs) - 1, 2):
                for x in range(int(math.ceil(xs[i] - 0.5)), int(math.floor(xs[i + 1] - 0.5)) + 1):
                    self.put(x, y, c(x, y) if callable(c) else c)

    def outline(self, colour=(24, 20, 18)):
        """A one-pixel dark edge round every opaque shape (sprites read better)."""
        solid = [p[3] >= 128 for p in self.px]
        add = []
        for y in range(self.h):
            for x in range(self.w):
                if solid[y * self.w + x]:
                    continue
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                    xx, yy = x + dx, y + dy
                    if 0 <= xx < self.w and 0 <= yy < self.h and solid[yy * self.w + xx]:
                        add.append((x, y))
                        break
        for x, y in add:
            self.put(x, y, colour)

    def opaque(self, bg=(0, 0, 0)):
        out = Canvas(self.w, self.h, bg)
        for y in range(self.h):
            for x in range(self.w):
                out.put(x, y, self.get(x, y))
        return out


def png_bytes(cv: Canvas, alpha: bool) -> bytes:
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    raw = bytearray()
    for y in range(cv.h):
        raw.append(0)
        for x in range(cv.w):
            p = cv.get(x, y)
            raw += bytes(p if alpha else p[:3])
    ihdr = struct.pack(">IIBBBBB", cv.w, cv.h, 8, 6 if alpha else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def jpeg_bytes(cv: Canvas, quality=90) -> bytes:
    rgb = bytearray()
    for p in cv.opaque().px:
        rgb += bytes(p[:3])
    ppm = b"P6\n%d %d\n255\n" % (cv.w, cv.h) + bytes(rgb)
    done = subprocess.run(["cjpeg", "-quality", str(quality), "-optimize"], input=ppm,
                          capture_output=True, check=True)
    return done.stdout


def lzw(indices, min_code_size: int) -> bytes:
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    acc = 0
    nbits = 0

    def emit(code, size):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    def reset():
        return {(i,): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, size = reset()
    emit(clear, size)
    w = ()
    for k in indices:
        wk = w + (k,)
        if wk in table:
            w = wk
            continue
        emit(table[w], size)
        table[wk] = next_code
        next_code += 1
        if next_code > (1 << size) and size < 12:
            size += 1
        if next_code >= 4095:
            emit(clear, size)
            table, next_code, size = reset()
        w = (k,)
    if w:
        emit(table[w], size)
    emit(end, size)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def gif_bytes(cv: Canvas) -> bytes:
    """An 8-bit GIF with index 0 transparent."""
    colours = sorted({p[:3] for p in cv.px if p[3] >= 128})
    if len(colours) > 255:
        raise ValueError(f"GIF icon with {len(colours)} colours")
    bits = 1
    while (1 << bits) < len(colours) + 1:
        bits += 1
    palette = [(0, 0, 0)] + colours + [(0, 0, 0)] * ((1 << bits) - len(colours) - 1)
    index = {c: i + 1 for i, c in enumerate(colours)}
    pixels = [index[p[:3]] if p[3] >= 128 else 0 for p in cv.px]
    head = b"GIF89a" + struct.pack("<HHBBB", cv.w, cv.h, 0x80 | ((bits - 1) << 4) | (bits - 1), 0, 0)
    head += b"".join(bytes(c) for c in palette)
    head += b"\x21\xf9\x04\x01\x00\x00\x00\x00"
    head += b"\x2c" + struct.pack("<HHHHB", 0, 0, cv.w, cv.h, 0)
    min_code = max(2, bits)
    data = lzw(pixels, min_code)
    body = bytearray([min_code])
    for i in range(0, len(data), 255):
        part = data[i:i + 255]
        body += bytes([len(part)]) + part
    body += b"\x00"
    return head + bytes(body) + b"\x3b"


class Noise:
    """Tileable value noise on a period x period grid."""

    def __init__(self, rng: Rng, period: int):
        self.p = period
        self.g = [rng.uniform() for _ in range(period * period)]

    def at(self, x, y):
        p = self.p
        x0, y0 = int(math.floor(x)), int(math.floor(y))
        fx, fy = x - x0, y - y0
        fx = fx * fx * (3 - 2 * fx)
        fy = fy * fy * (3 - 2 * fy)

        def g(i, j):
            return self.g[(j % p) * p + (i % p)]

        top = g(x0, y0) + (g(x0 + 1, y0) - g(x0, y0)) * fx
        bottom = g(x0, y0 + 1) + (g(x0 + 1, y0 + 1) - g(x0, y0 + 1)) * fx
        return top + (bottom - top) * fy


def fbm(rng: Rng, w, h, octaves=((4, 0.5), (8, 0.3), (16, 0.2))):
    layers = [(Noise(rng, per), per, wt) for per, wt in octaves]
    return [[sum(n.at(x * per / w, y * per / h) * wt for n, per, wt in layers) for x in range(w)]
            for y in range(h)]


# ============================================================== textures

STONE = (142, 138, 130)
MORTAR = (96, 90, 82)
BRICK = (158, 74, 46)
WOOD = (150, 102, 58)
WOOD_DARK = (92, 60, 34)
IRON = (92, 96, 104)
MOSS = (84, 120, 48)


def tex_blocks(w, h, rng, base, grout, row_h=16, widths=(14, 26), spread=22, bevel=True):
    """Rows of stone blocks of random widths."""
    cv = Canvas(w, h, grout)
    n = fbm(rng, w, h)
    for top in range(0, h, row_h):
        x = -rng.rand(widths[0])
        while x < w:
            bw = rng.between(*widths)
            col = jitter(base, rng, spread)
            for y in range(top, min(h, top + row_h - 1)):
                for xx in range(x, x + bw - 1):
                    f = 0.8 + 0.4 * n[y][xx % w]
                    c = mul(col, f)
                    if bevel and y == top:
                        c = mul(c, 1.18)
                    elif bevel and (y == top + row_h - 2 or xx == x + bw - 2):
                        c = mul(c, 0.78)
                    cv.put(xx % w, y, c)
            x += bw
    return cv


def tex_bricks(w, h, rng, brick=BRICK, mortar=(170, 160, 146)):
    cv = Canvas(w, h, mortar)
    n = fbm(rng, w, h)
    bw, bh = 16, 8
    for row in range(h // bh):
        off = bw // 2 if row % 2 else 0
        for k in range(-1, w // bw + 1):
            col = jitter(brick, rng, 20)
            x0 = k * bw + off
            for y in range(row * bh, row * bh + bh - 1):
                for x in range(x0, x0 + bw - 1):
                    if not 0 <= x < w:
                        continue
                    c = mul(col, 0.82 + 0.36 * n[y][x])
                    if y == row * bh:
                        c = mul(c, 1.15)
                    elif y == row * bh + bh - 2:
                        c = mul(c, 0.8)
                    cv.put(x, y, c)
    for y in range(h):
        for x in range(w):
            if n[y][x] > 0.72:
                cv.put(x, y, mul(cv.get(x, y), 0.85))
    return cv


def add_moss(cv, rng, amount=0.55):
    n = fbm(rng, cv.w, cv.h, ((4, 0.6), (16, 0.4)))
    for y in range(cv.h):
        for x in range(cv.w):
            v = n[y][x] + 0.35 * (y / cv.h) - 0.2
            if v > amount:
                t = min(1.0, (v - amount) * 5)
                green = mix(MOSS, (118, 156, 60), n[(y * 7) % cv.h][(x * 5) % cv.w])
                cv.put(x, y, mix(cv.get(x, y), green, t))
    return cv


def tex_planks(w, h, rng, base=WOOD, vertical=True, plank=13, nails=True):
    cv = Canvas(w, h, WOOD_DARK)
    n = fbm(rng, w, h, ((2, 0.5), (8, 0.5)))
    along, across = (h, w) if vertical else (w, h)
    for start in range(0, across, plank):
        col = jitter(base, rng, 16)
        phase = rng.uniform() * 6.28
        for a in range(start, min(across, start + plank - 1)):
            for t in range(along):
                x, y = (a, t) if vertical else (t, a)
                grain = 0.9 + 0.1 * math.sin((a - start) * 1.3 + phase + n[y][x] * 9)
                c = mul(col, grain * (0.85 + 0.3 * n[y][x]))
                if a == start:
                    c = mul(c, 1.12)
                cv.put(x, y, c)
        if nails:
            for t in (4, along - 5):
                x, y = (start + plank // 2 - 1, t) if vertical else (t, start + plank // 2 - 1)
                cv.put(x, y, (60, 58, 56))
                cv.put(x + (0 if vertical else 1), y + (1 if vertical else 0), (140, 138, 132))
    return cv


def tex_rock(w, h, rng, base=(118, 104, 92)):
    n = fbm(rng, w, h, ((4, 0.45), (8, 0.3), (32, 0.25)))
    cv = Canvas(w, h)
    cv.fill(lambda x, y: mul(base, 0.6 + 0.8 * n[y][x]))
    for _ in range(5):
        x, y = rng.rand(w), rng.rand(h)
        for _ in range(rng.between(10, 24)):
            cv.put(x % w, y % h, mul(base, 0.35))
            cv.put((x + 1) % w, y % h, mul(base, 1.2))
            x += rng.rand(3) - 1
            y += 1
    return cv


def tex_wood_door(w, h, rng):
    cv = tex_blocks(w, h, rng, STONE, MORTAR, row_h=16)
    door = tex_planks(w - 16, h - 8, rng, WOOD, vertical=True, plank=10, nails=False)
    for y in range(door.h):
        for x in range(door.w):
            cv.put(x + 8, y + 8, door.get(x, y))
    for band in (16, h - 16):
        cv.rect(8, band, w - 9, band + 3, lambda x, y: (70, 70, 76) if y % 4 else (120, 120, 126))
        for x in range(11, w - 9, 9):
            cv.put(x, band + 1, (170, 170, 170))
    cv.ellipse(w - 16, h // 2 + 2, 3.2, 3.2, (60, 58, 56))
    cv.ellipse(w - 16, h // 2 + 2, 1.6, 1.6, (180, 150, 60))
    return cv


def tex_iron_door(w, h, rng):
    cv = tex_blocks(w, h, rng, (120, 116, 110), MORTAR, row_h=16)
    n = fbm(rng, w, h)
    cv.rect(6, 6, w - 7, h - 1, lambda x, y: mul(IRON, 0.75 + 0.45 * n[y][x]))
    for x0, x1 in ((6, w // 2 - 1), (w // 2 + 1, w - 7)):
        cv.rect(x0, 6, x1, 7, mul(IRON, 1.4))
        cv.rect(x0, 6, x0 + 1, h - 1, mul(IRON, 1.25))
        for y in range(12, h, 12):
            for x in (x0 + 4, x1 - 3):
                cv.put(x, y, (200, 200, 204))
                cv.put(x + 1, y + 1, (40, 40, 44))
    cv.rect(w // 2 - 1, 6, w // 2, h - 1, (34, 34, 38))
    cv.rect(w // 2 + 5, h // 2 - 4, w // 2 + 10, h // 2 + 5, (176, 150, 70))
    cv.ellipse(w // 2 + 7.5, h // 2, 1.3, 1.3, (20, 18, 16))
    cv.rect(w // 2 + 7, h // 2, w // 2 + 7, h // 2 + 3, (20, 18, 16))
    return cv


def tex_portcullis(w, h, rng):
    cv = Canvas(w, h)
    bar = (70, 72, 78)
    for x0 in range(2, w, 10):
        cv.rect(x0, 0, x0 + 2, h - 6, lambda x, y, x0=x0: mul(bar, 1.35 if x == x0 else 0.8 if x == x0 + 2 else 1.0))
        cv.polygon([(x0 - 0.5, h - 6), (x0 + 3.5, h - 6), (x0 + 1.5, h - 1)], mul(bar, 1.1))
    for y0 in range(6, h - 8, 14):
        cv.rect(0, y0, w - 1, y0 + 2, lambda x, y, y0=y0: mul(bar, 1.3 if y == y0 else 0.75 if y == y0 + 2 else 1.0))
        for x0 in range(2, w, 10):
            cv.put(x0 + 1, y0 + 1, (180, 180, 186))
    return cv


def tex_arch(w, h, rng):
    cv = tex_blocks(w, h, rng, (150, 144, 132), MORTAR, row_h=12)
    cx = w / 2
    r = w * 0.32
    top = h * 0.38
    for y in range(h):
        for x in range(w):
            dx = (x + 0.5 - cx)
            inside = abs(dx) < r and (y >= top or dx * dx + ((y + 0.5 - top) * 1.1) ** 2 < r * r)
            if inside:
                cv.erase(x, y)
            else:
                d = abs(dx) - r if y >= top else math.hypot(dx, (y + 0.5 - top) * 1.1) - r
                if d < 3:
                    cv.put(x, y, mul(cv.get(x, y), 0.6 + d * 0.1))
    return cv


def side_view(front: Canvas, rng, shade=0.7):
    """A narrower, darker copy for the wall seen at an angle."""
    w, h = front.w // 2, front.h
    cv = Canvas(w, h)
    for y in range(h):
        for x in range(w):
            p = front.get(x * 2, y)
            f = shade * (0.75 + 0.25 * x / w)
            cv.px[y * w + x] = mul(p, f) + (p[3],)
    return cv


def far_view(front: Canvas):
    w, h = front.w // 2, front.h // 2
    cv = Canvas(w, h)
    for y in range(h):
        for x in range(w):
            p = front.get(x * 2, y * 2)
            cv.px[y * w + x] = mul(p, 0.55) + (p[3],)
    return cv


def tex_flagstones(w, h, rng, base=(150, 146, 136), grout=(78, 74, 70)):
    cv = Canvas(w, h, grout)
    n = fbm(rng, w, h)
    rows = [(0, 21), (22, 42), (43, h - 1)]
    for y0, y1 in rows:
        x = -rng.rand(10)
        while x < w:
            sw = rng.between(14, 26)
            col = jitter(base, rng, 18)
            for y in range(y0 + 1, y1):
                for xx in range(x + 1, x + sw):
                    c = mul(col, 0.8 + 0.4 * n[y][xx % w])
                    if y == y0 + 1 or xx == x + 1:
                        c = mul(c, 1.12)
                    cv.put(xx % w, y, c)
            x += sw
    return cv


def tex_water(w, h, rng):
    n = fbm(rng, w, h, ((4, 0.6), (8, 0.4)))
    deep, light = (22, 60, 112), (70, 140, 196)

    def px(x, y):
        wave = math.sin((x * 0.35 + y * 0.18) + n[y][x] * 6.0)
        c = mix(deep, light, 0.35 + 0.3 * wave + 0.3 * (n[y][x] - 0.5))
        if wave > 0.93 and n[y][x] > 0.45:
            c = mix(c, (220, 240, 250), 0.6)
        return c

    cv = Canvas(w, h)
    cv.fill(px)
    return cv


def tex_lava(w, h, rng):
    n = fbm(rng, w, h, ((4, 0.5), (8, 0.3), (16, 0.2)))
    m = fbm(rng, w, h, ((8, 1.0),))
    ramp = [(40, 14, 10), (120, 26, 10), (214, 70, 16), (246, 150, 30), (255, 228, 120)]

    def px(x, y):
        crack = 1.0 - min(1.0, abs(m[y][x] - 0.5) * 9)
        t = 0.25 + 0.5 * n[y][x] + 0.6 * crack
        t = max(0.0, min(0.999, t)) * (len(ramp) - 1)
        i = int(t)
        return mix(ramp[i], ramp[i + 1], t - i)

    cv = Canvas(w, h)
    cv.fill(px)
    return cv


def tex_grass(w, h, rng):
    n = fbm(rng, w, h)
    cv = Canvas(w, h)
    cv.fill(lambda x, y: mix((50, 92, 34), (104, 156, 62), n[y][x]))
    for _ in range(w * h // 10):
        x, y = rng.rand(w), rng.rand(h)
        c = (132, 184, 78) if rng.rand(3) else (36, 70, 26)
        for k in range(rng.between(2, 4)):
            cv.put((x + (k if rng.rand(4) == 0 else 0)) % w, (y - k) % h, c)
    for _ in range(6):
        x, y = rng.rand(w), rng.rand(h)
        cv.put(x, y, (236, 220, 90))
        cv.put((x + 1) % w, y, (250, 250, 240))
    return cv


def tex_ice(w, h, rng):
    n = fbm(rng, w, h, ((4, 0.6), (8, 0.4)))
    cv = Canvas(w, h)
    cv.fill(lambda x, y: mix((150, 196, 226), (226, 242, 250), n[y][x] * 0.8 + 0.15 * math.sin((x + y) * 0.2)))
    for _ in range(7):
        x, y = rng.rand(w), rng.rand(h)
        dx, dy = rng.rand(3) - 1, rng.rand(3) - 1 or 1
        for _ in range(rng.between(8, 20)):
            cv.put(x % w, y % h, (250, 252, 255))
            x += dx + (rng.rand(3) - 1)
            y += dy
    return cv


def tex_runes(w, h, rng):
    cv = tex_flagstones(w, h, rng, base=(112, 106, 120), grout=(54, 50, 62))
    glow = (120, 210, 230)
    cx, cy = w / 2, h / 2
    for a in range(0, 360, 3):
        r = w * 0.36
        cv.put(int(cx + r * math.cos(math.radians(a))), int(cy + r * math.sin(math.radians(a))), glow)
    for k in range(6):
        a = math.radians(k * 60 + 15)
        x, y = cx + w * 0.28 * math.cos(a), cy + h * 0.28 * math.sin(a)
        cv.line(x - 2, y - 3, x + 2, y + 3, glow)
        cv.line(x - 2, y + 1, x + 2, y - 1, glow)
    return cv


def tex_vault(w, h, rng):
    cv = tex_blocks(w, h, rng, (112, 108, 102), (66, 62, 58), row_h=12, spread=14)
    rib = (164, 158, 146)
    cv.line(0, 0, w - 1, h - 1, rib, width=4)
    cv.line(w - 1, 0, 0, h - 1, rib, width=4)
    cv.ellipse(w / 2, h / 2, 6, 6, (180, 172, 158))
    cv.ellipse(w / 2, h / 2, 3, 3, (120, 112, 100))
    return cv


def tex_beams(w, h, rng):
    cv = tex_planks(w, h, rng, (112, 78, 46), vertical=False, plank=8, nails=False)
    for x0 in (6, 38):
        beam = tex_planks(18, h, rng, (150, 104, 60), vertical=True, plank=18, nails=False)
        for y in range(h):
            for x in range(18):
                c = beam.get(x, y)
                cv.put(x0 + x, y, mul(c, 1.15 if x < 2 else 0.7 if x > 15 else 1.0))
            cv.put(x0 + 18, y, (40, 28, 18))
    return cv


def tex_sky(w, h, rng):
    n = fbm(rng, w, h, ((4, 0.55), (8, 0.3), (16, 0.15)))
    cv = Canvas(w, h)
    cv.fill(lambda x, y: mix(mix((70, 122, 200), (150, 196, 236), y / h), (250, 250, 252),
                             max(0.0, (n[y][x] - 0.52) * 3.2)))
    return cv


def tex_grain(w, h, rng):
    n = fbm(rng, w, h, ((4, 0.4), (16, 0.6)))
    cv = Canvas(w, h)
    cv.fill(lambda x, y: mul((128, 120, 110), 0.7 + 0.6 * n[y][x]))
    return cv


# ============================================================== sprites

SKIN = (226, 180, 140)


def shaded(col, light=1.25, dark=0.6):
    """A fill that is lit from the upper left."""
    def f(x, y, dx, dy):
        t = (-dx * 0.6 - dy * 0.8 + 1) / 2
        return mul(col, dark + (light - dark) * t)
    return f


def obj_chest(rng):
    cv = Canvas(48, 48)
    cv.ellipse(24, 43, 20, 3.5, (0, 0, 0, 90))
    body = tex_planks(34, 18, rng, (140, 88, 46), vertical=False, plank=6, nails=False)
    for y in range(18):
        for x in range(34):
            cv.put(7 + x, 24 + y, body.get(x, y))
    cv.ellipse(24, 24, 17, 8, shaded((120, 74, 38)))
    cv.rect(7, 24, 40, 25, (84, 52, 28))
    for x0 in (10, 35):
        cv.rect(x0, 17, x0 + 2, 41, (88, 90, 98))
        cv.rect(x0, 17, x0, 41, (150, 150, 156))
    cv.rect(21, 24, 27, 31, (196, 164, 62))
    cv.rect(21, 24, 27, 24, (240, 214, 110))
    cv.rect(23, 27, 25, 29, (50, 40, 20))
    cv.outline()
    return cv


def obj_fountain(rng):
    cv = Canvas(48, 48)
    cv.ellipse(24, 42, 21, 5, (0, 0, 0, 80))
    cv.rect(6, 30, 41, 40, lambda x, y: mul((150, 146, 138), 0.7 + 0.5 * (1 - abs(x - 24) / 18)))
    cv.ellipse(24, 30, 18, 5, (170, 166, 158))
    cv.ellipse(24, 30, 15.5, 3.6, (54, 110, 168))
    cv.ellipse(22, 29.5, 6, 1.3, (140, 196, 232))
    cv.rect(21, 14, 26, 29, lambda x, y: mul((160, 154, 144), 1.1 if x < 23 else 0.8))
    cv.ellipse(23.5, 14, 8, 2.6, (170, 166, 158))
    for k, (dx, top) in enumerate(((-6, 8), (0, 3), (6, 8))):
        cv.line(24, 11, 24 + dx, top, (170, 214, 240, 230), width=2)
        cv.line(24 + dx, top, 24 + dx * 1.8, 28, (150, 200, 236, 200))
    cv.outline()
    return cv


def obj_statue(rng):
    cv = Canvas(48, 48)
    stone = (172, 168, 160)
    cv.ellipse(24, 44, 16, 3, (0, 0, 0, 90))
    cv.rect(12, 36, 35, 44, lambda x, y: mul(stone, 1.1 if y == 36 else 0.75 + 0.3 * (x < 24)))
    cv.polygon([(17, 36), (31, 36), (29, 16), (19, 16)], lambda x, y: mul(stone, 1.05 if x < 24 else 0.8))
    cv.ellipse(24, 11, 4.6, 5, shaded(stone))
    cv.line(19, 18, 13, 28, mul(stone, 1.0), width=3)
    cv.line(29, 18, 33, 8, mul(stone, 0.85), width=3)
    cv.line(34, 3, 34, 30, (130, 126, 120), width=2)
    cv.rect(22, 22, 26, 23, mul(stone, 0.6))
    cv.outline()
    return cv


def obj_barrel(rng):
    cv = Canvas(48, 48)
    cv.ellipse(24, 44, 15, 3, (0, 0, 0, 90))
    for y in range(8, 44):
        t = (y - 8) / 35
        half = 11 + 3 * math.sin(t * math.pi)
        for x in range(int(24 - half), int(24 + half) + 1):
            u = (x - 24) / half
            stave = 0.85 + 0.15 * math.cos(u * 7 * math.pi)
            c = mul((150, 100, 54), stave * (1.15 - 0.45 * abs(u) - 0.15 * u))
            if abs(y - 14) < 2 or abs(y - 37) < 2:
                c = mul((96, 98, 104), 1.2 - 0.5 * abs(u))
            cv.put(x, y, c)
    cv.ellipse(24, 8, 11, 3, (120, 80, 44))
    cv.ellipse(24, 8, 9, 2, (98, 64, 34))
    cv.outline()
    return cv


def obj_brazier(rng):
    cv = Canvas(48, 48)
    cv.ellipse(24, 45, 14, 2.5, (0, 0, 0, 90))
    for x0, x1 in ((24, 14), (24, 34), (24, 24)):
        cv.line(x0, 30, x1, 45, (60, 58, 60), width=2)
    cv.ellipse(24, 28, 14, 6, shaded((80, 76, 74)))
    cv.ellipse(24, 25, 12, 3, (40, 30, 26))
    for rx, ry, cy, col in ((10, 13, 16, (200, 50, 20, 220)), (7, 10, 18, (246, 140, 30, 235)),
                            (4, 7, 20, (255, 226, 110, 245))):
        cv.ellipse(24, cy, rx, ry, lambda x, y, dx, dy, col=col: col if dy > -0.3 or abs(dx) < 0.8 + dy else (0, 0, 0, 0))
    for _ in range(5):
        cv.put(rng.between(16, 32), rng.between(1, 8), (255, 200, 90))
    cv.outline((40, 24, 14))
    return cv


def obj_stairs(rng):
    cv = Canvas(48, 48)
    cv.rect(4, 4, 43, 43, (40, 36, 34))
    for k in range(6):
        top = 6 + k * 6
        inset = k * 2
        c = mul((160, 154, 144), 1.0 - k * 0.13)
        cv.rect(6 + inset, top, 41 - inset, top + 3, c)
        cv.rect(6 + inset, top + 4, 41 - inset, top + 5, mul(c, 0.55))
    cv.rect(4, 4, 5, 43, (120, 114, 106))
    cv.rect(42, 4, 43, 43, (90, 86, 80))
    cv.outline()
    return cv


def obj_altar(rng):
    cv = Canvas(48, 48)
    cv.ellipse(24, 44, 20, 3, (0, 0, 0, 90))
    stone = (168, 160, 170)
    cv.rect(8, 26, 39, 43, lambda x, y: mul(stone, 0.75 + 0.35 * (1 - abs(x - 24) / 16)))
    cv.rect(5, 22, 42, 26, mul(stone, 1.12))
    cv.rect(14, 22, 33, 38, (110, 30, 46))
    cv.rect(14, 22, 33, 23, (150, 50, 66))
    cv.rect(22, 28, 25, 36, (224, 196, 84))
    cv.rect(20, 30, 27, 31, (224, 196, 84))
    for x in (10, 37):
        cv.rect(x - 1, 14, x + 1, 21, (236, 230, 214))
        cv.ellipse(x + 0.5, 11, 1.8, 3, (255, 206, 80))
    cv.outline()
    return cv


def mon_rat(rng, fur=(118, 100, 88), eye=(220, 40, 30), size=1.0):
    cv = Canvas(64, 64)
    s = size
    cv.ellipse(32, 58, 22 * s, 4, (0, 0, 0, 90))
    tail = [(46 + 8 * math.sin(t / 4.0), 56 - t * 1.6) for t in range(0, 14)]
    for (x0, y0), (x1, y1) in zip(tail, tail[1:]):
        cv.line(x0, y0, x1, y1, (206, 150, 150), width=2)
    cv.ellipse(32, 46, 20 * s, 13 * s, shaded(fur))
    cv.ellipse(32, 30, 12 * s, 11 * s, shaded(fur))
    for ex in (-9, 9):
        cv.ellipse(32 + ex * s, 19, 5 * s, 6 * s, shaded(fur))
        cv.ellipse(32 + ex * s, 20, 3 * s, 4 * s, (214, 150, 156))
    cv.ellipse(32, 38, 5 * s, 4 * s, shaded(mul(fur, 1.2)))
    cv.ellipse(32, 37, 2, 1.6, (232, 140, 150))
    for ex in (-5, 5):
        cv.ellipse(32 + ex * s, 29, 2.2, 2.4, eye)
        cv.put(int(32 + ex * s) - 1, 28, (255, 230, 220))
    for dy in (-1, 1):
        cv.line(27, 38 + dy, 14, 36 + dy * 3, (230, 226, 220, 160))
        cv.line(37, 38 + dy, 50, 36 + dy * 3, (230, 226, 220, 160))
    cv.rect(29, 41, 30, 43, (250, 246, 236))
    cv.rect(33, 41, 34, 43, (250, 246, 236))
    for fx in (-12, 12):
        cv.ellipse(32 + fx * s, 57, 5, 2.5, (204, 150, 150))
    cv.outline()
    return cv


def mon_skeleton(rng, attacking=False):
    cv = Canvas(64, 64)
    bone = (226, 218, 196)
    dark = (60, 52, 44)
    cv.ellipse(32, 61, 14, 2.5, (0, 0, 0, 90))
    cv.ellipse(32, 11, 7, 8, shaded(bone))
    cv.rect(28, 17, 36, 20, bone)
    for ex in (-3, 3):
        cv.ellipse(32 + ex, 11, 2.0, 2.4, dark)
    cv.put(32, 14, dark)
    for x in range(29, 36, 2):
        cv.put(x, 19, dark)
    cv.line(32, 21, 32, 42, bone, width=2)
    for k in range(4):
        y = 24 + k * 4
        half = 9 - k
        cv.line(32 - half, y + 1, 31, y, bone, width=2)
        cv.line(33, y, 32 + half, y + 1, bone, width=2)
    cv.ellipse(32, 43, 7, 3, shaded(bone))
    cv.line(28, 45, 26, 60, bone, width=2)
    cv.line(36, 45, 38, 60, bone, width=2)
    cv.line(23, 22, 20, 34, bone, width=2)
    if attacking:
        cv.line(41, 22, 48, 12, bone, width=2)
        cv.line(48, 12, 52, 1, (170, 160, 150), width=2)
        cv.line(45, 13, 51, 11, (150, 110, 50), width=2)
    else:
        cv.line(41, 22, 44, 34, bone, width=2)
        cv.line(44, 34, 52, 50, (170, 160, 150), width=2)
        cv.line(41, 35, 47, 33, (150, 110, 50), width=2)
    cv.line(20, 34, 18, 44, bone, width=2)
    cv.outline()
    return cv


def mon_troll(rng):
    cv = Canvas(64, 64)
    skin = (104, 128, 84)
    cv.ellipse(32, 61, 24, 3, (0, 0, 0, 100))
    cv.ellipse(22, 55, 7, 8, shaded(skin))
    cv.ellipse(42, 55, 7, 8, shaded(skin))
    cv.ellipse(32, 38, 22, 19, shaded(skin))
    cv.rect(16, 42, 48, 50, lambda x, y: mul((110, 78, 50), 0.8 + 0.2 * ((x // 3) % 2)))
    cv.ellipse(32, 16, 10, 9, shaded(skin))
    for ex in (-4, 4):
        cv.ellipse(32 + ex, 14, 2, 1.6, (250, 220, 60))
    cv.line(27, 11, 31, 12, (40, 50, 30), width=2)
    cv.line(33, 12, 37, 11, (40, 50, 30), width=2)
    cv.rect(28, 20, 36, 21, (40, 30, 26))
    cv.polygon([(28, 20), (30, 20), (29, 16)], (240, 234, 210))
    cv.polygon([(34, 20), (36, 20), (35, 16)], (240, 234, 210))
    cv.ellipse(10, 40, 6, 13, shaded(skin))
    cv.ellipse(54, 36, 6, 12, shaded(skin))
    cv.line(56, 30, 60, 4, (110, 76, 44), width=5)
    cv.ellipse(60, 6, 4, 6, shaded((124, 86, 50)))
    cv.outline()
    return cv


def mon_wraith(rng):
    cv = Canvas(64, 64)
    robe = (40, 50, 92)
    for y in range(6, 64):
        t = (y - 6) / 58
        half = 9 + 17 * t
        alpha = 235 if y < 44 else int(235 * (63 - y) / 19)
        for x in range(int(32 - half), int(32 + half) + 1):
            ripple = math.sin(x * 0.7 + y * 0.15) * 0.08
            c = mul(robe, 0.7 + 0.5 * (1 - abs(x - 32) / half) + ripple)
            cv.put(x, y, c + (max(0, alpha - (25 if (x + y) % 7 == 0 else 0)),))
    cv.ellipse(32, 16, 8, 8, (10, 10, 20))
    for ex in (-3, 3):
        cv.ellipse(32 + ex, 16, 1.6, 1.2, (150, 250, 240))
    for side in (-1, 1):
        cv.line(32 + side * 14, 26, 32 + side * 22, 40, (56, 66, 112, 220), width=4)
        for k in range(3):
            cv.line(32 + side * 22, 40, 32 + side * (20 + k * 3), 46, (200, 210, 230, 200))
    return cv


def npc_hermit(rng, w=48, h=48, full=False):
    cv = Canvas(w, h)
    robe = (112, 86, 60)
    cx = w / 2
    if full:
        cv.ellipse(cx, h - 2, 11, 2, (0, 0, 0, 90))
        cv.polygon([(cx - 5, 12), (cx + 5, 12), (cx + 11, h - 3), (cx - 11, h - 3)], lambda x, y: mul(robe, 1.1 if x < cx else 0.85))
        cv.line(cx + 10, 4, cx + 12, h - 3, (130, 96, 56), width=2)
        cv.ellipse(cx, 9, 5.5, 6, shaded(mul(robe, 0.9)))
        cv.ellipse(cx, 10, 3.2, 3.6, SKIN)
        cv.polygon([(cx - 3, 11), (cx + 3, 11), (cx, 22)], (236, 236, 230))
        cv.put(int(cx) - 2, 9, (40, 30, 30))
        cv.put(int(cx) + 1, 9, (40, 30, 30))
    else:
        cv.polygon([(cx - 8, 20), (cx + 8, 20), (cx + 22, h - 1), (cx - 22, h - 1)], lambda x, y: mul(robe, 1.1 if x < cx else 0.85))
        cv.ellipse(cx, 18, 13, 14, shaded(mul(robe, 0.9)))
        cv.ellipse(cx, 20, 8.5, 9.5, SKIN)
        cv.polygon([(cx - 8, 22), (cx + 8, 22), (cx + 5, 34), (cx, 42), (cx - 5, 34)], (238, 238, 232))
        cv.rect(int(cx) - 5, 18, int(cx) - 3, 19, (40, 30, 30))
        cv.rect(int(cx) + 3, 18, int(cx) + 5, 19, (40, 30, 30))
        cv.line(cx - 6, 15, cx - 2, 16, (220, 220, 214), width=2)
        cv.line(cx + 2, 16, cx + 6, 15, (220, 220, 214), width=2)
        cv.rect(int(cx) - 2, 26, int(cx) + 2, 26, (120, 60, 60))
    cv.outline()
    return cv


def npc_smith(rng, w=48, h=48, full=False):
    cv = Canvas(w, h)
    shirt = (150, 60, 44)
    apron = (84, 60, 42)
    cx = w / 2
    if full:
        cv.ellipse(cx, h - 2, 11, 2, (0, 0, 0, 90))
        cv.rect(int(cx) - 6, 34, int(cx) - 2, h - 3, (60, 54, 50))
        cv.rect(int(cx) + 2, 34, int(cx) + 6, h - 3, (60, 54, 50))
        cv.polygon([(cx - 8, 13), (cx + 8, 13), (cx + 7, 36), (cx - 7, 36)], shirt)
        cv.rect(int(cx) - 6, 18, int(cx) + 6, 38, apron)
        cv.line(cx + 8, 15, cx + 12, 26, SKIN, width=3)
        cv.line(cx + 12, 26, cx + 12, 16, (110, 76, 44), width=2)
        cv.rect(int(cx) + 9, 13, int(cx) + 15, 16, (90, 92, 98))
        cv.line(cx - 8, 15, cx - 11, 28, SKIN, width=3)
        cv.ellipse(cx, 8, 5, 5.5, shaded(SKIN))
        cv.polygon([(cx - 4, 10), (cx + 4, 10), (cx, 16)], (50, 36, 28))
    else:
        cv.polygon([(cx - 10, 28), (cx + 10, 28), (cx + 23, h - 1), (cx - 23, h - 1)], shirt)
        cv.rect(int(cx) - 11, 34, int(cx) + 11, h - 1, apron)
        cv.ellipse(cx, 19, 10, 12, shaded(SKIN))
        cv.polygon([(cx - 9, 22), (cx + 9, 22), (cx + 6, 34), (cx - 6, 34)], (56, 40, 30))
        cv.rect(int(cx) - 5, 17, int(cx) - 3, 18, (30, 24, 20))
        cv.rect(int(cx) + 3, 17, int(cx) + 5, 18, (30, 24, 20))
        cv.line(cx - 7, 13, cx - 2, 14, (56, 40, 30), width=2)
        cv.line(cx + 2, 14, cx + 7, 13, (56, 40, 30), width=2)
        cv.rect(int(cx) - 3, 27, int(cx) + 3, 27, (150, 80, 70))
    cv.outline()
    return cv


def portrait(figure: Canvas, bg):
    """A 32 x 32 head-and-shoulders crop of a 48 x 48 figure on a background."""
    cv = Canvas(32, 32, bg)
    for y in range(32):
        for x in range(32):
            cv.put(x, y, (mul(bg, 0.75 + 0.5 * (1 - y / 32)) + (255,)))
            cv.put(x, y, figure.get(x + 8, y + 4))
    return cv


def title_picture(rng):
    cv = Canvas(64, 48)
    sky = tex_sky(64, 48, rng)
    for y in range(48):
        for x in range(64):
            c = sky.get(x, y)
            cv.put(x, y, mix(c, (60, 40, 80), 0.45))
    hill = [30 + 6 * math.sin(x / 9.0) + 3 * math.sin(x / 3.7) for x in range(64)]
    for x in range(64):
        for y in range(int(hill[x]), 48):
            cv.put(x, y, mul((54, 70, 48), 0.6 + 0.4 * (48 - y) / 18))
    cv.rect(24, 14, 39, 47, lambda x, y: mul((120, 116, 110), 0.8 + 0.2 * ((x + (y // 4) * 2) % 4 == 0)))
    for x in range(24, 40, 3):
        cv.rect(x, 11, x + 1, 13, (120, 116, 110))
    cv.polygon([(28, 47), (35, 47), (35, 36), (31.5, 32), (28, 36)], (24, 18, 16))
    cv.rect(30, 20, 33, 24, (240, 200, 90))
    return cv


def backdrop(rng):
    cv = Canvas(64, 48)
    cv.fill(lambda x, y: mix((250, 160, 90), (60, 50, 110), y / 40))
    cv.ellipse(44, 30, 7, 7, (255, 226, 150))
    ridge = [32 + 5 * math.sin(x / 7.0) + 2 * math.sin(x / 2.3) for x in range(64)]
    for x in range(64):
        for y in range(int(ridge[x]), 48):
            cv.put(x, y, (34, 28, 46))
    return cv


# ---------------------------------------------------------------- item icons


def icon_sword(rng, rapier=False):
    cv = Canvas(32, 32)
    if rapier:
        cv.line(9, 22, 29, 2, (214, 220, 228))
        cv.line(10, 22, 29, 3, (150, 156, 168))
        cv.ellipse(9, 22, 5, 5, lambda x, y, dx, dy: (196, 164, 62) if dx * dx + dy * dy > 0.45 else (0, 0, 0, 0))
        cv.line(5, 26, 8, 23, (110, 60, 30), width=2)
        cv.ellipse(3.5, 28.5, 2, 2, (196, 164, 62))
    else:
        cv.line(11, 20, 27, 4, (206, 212, 222), width=3)
        cv.line(12, 21, 28, 5, (130, 136, 150))
        cv.line(26, 3, 28, 5, (240, 244, 250))
        cv.line(6, 17, 14, 25, (196, 164, 62), width=2)
        cv.line(5, 26, 10, 21, (112, 66, 34), width=2)
        cv.ellipse(4, 27.5, 2.2, 2.2, (220, 190, 80))
    cv.outline((20, 18, 16))
    return cv


def icon_cap(rng):
    cv = Canvas(32, 32)
    cv.ellipse(16, 20, 12, 11, lambda x, y, dx, dy: (150, 98, 52) if dy < 0.35 else (0, 0, 0, 0))
    cv.ellipse(13, 15, 5, 3, (186, 130, 76))
    cv.rect(4, 22, 27, 25, (110, 70, 36))
    for x in range(6, 27, 4):
        cv.put(x, 23, (220, 200, 150))
    cv.line(16, 9, 16, 21, (110, 70, 36))
    cv.outline((20, 18, 16))
    return cv


def icon_shield(rng):
    cv = Canvas(32, 32)
    cv.ellipse(16, 16, 14, 14, (96, 98, 106))
    cv.ellipse(16, 16, 12, 12, lambda x, y, dx, dy: (148, 96, 52) if (x // 4) % 2 else (126, 80, 42))
    cv.ellipse(16, 16, 4, 4, (170, 172, 180))
    cv.ellipse(15, 15, 1.5, 1.5, (230, 232, 238))
    cv.line(16, 4, 16, 11, (70, 72, 80))
    cv.line(16, 21, 16, 28, (70, 72, 80))
    cv.outline((20, 18, 16))
    return cv


def icon_potion(rng):
    cv = Canvas(32, 32)
    cv.ellipse(16, 20, 9, 9, (176, 200, 214))
    cv.ellipse(16, 21, 8, 7.5, lambda x, y, dx, dy: (200, 30, 50) if dy > -0.25 else (0, 0, 0, 0))
    cv.ellipse(13, 17, 2, 3, (240, 246, 250))
    cv.rect(13, 5, 18, 11, (176, 200, 214))
    cv.rect(13, 3, 18, 6, (150, 104, 60))
    cv.outline((20, 18, 16))
    return cv


def icon_key(rng):
    cv = Canvas(32, 32)
    iron = (120, 124, 132)
    cv.ellipse(9, 9, 6, 6, lambda x, y, dx, dy: iron if dx * dx + dy * dy > 0.3 else (0, 0, 0, 0))
    cv.line(13, 13, 26, 26, iron, width=3)
    cv.line(21, 25, 24, 22, iron, width=3)
    cv.line(25, 29, 28, 26, iron, width=3)
    cv.line(6, 6, 8, 5, (200, 204, 212))
    cv.outline((20, 18, 16))
    return cv


def icon_bread(rng):
    cv = Canvas(32, 32)
    cv.ellipse(16, 18, 13, 8, shaded((206, 150, 76)))
    for x in (10, 16, 22):
        cv.line(x - 2, 14, x + 2, 20, (150, 96, 44))
    cv.rect(5, 22, 27, 23, (150, 96, 44))
    cv.outline((20, 18, 16))
    return cv


def icon_lantern(rng):
    cv = Canvas(32, 32)
    cv.ellipse(16, 5, 4, 3, lambda x, y, dx, dy: (70, 70, 76) if dx * dx + dy * dy > 0.35 else (0, 0, 0, 0))
    cv.rect(9, 9, 22, 11, (70, 70, 76))
    cv.rect(10, 12, 21, 25, (248, 214, 110))
    cv.ellipse(15.5, 19, 3, 4.5, (255, 248, 200))
    for x in (10, 15, 21):
        cv.rect(x, 12, x, 25, (70, 70, 76))
    cv.rect(8, 26, 23, 28, (70, 70, 76))
    cv.outline((20, 18, 16))
    return cv


# ============================================================== colour patterns


def rows_from(text: str, rows: int, cols: int):
    out = [r.strip() for r in text.strip().splitlines()]
    if len(out) != rows or any(len(r) != cols for r in out):
        raise ValueError(f"pattern shape {len(out)}x{[len(r) for r in out]}")
    return out


def pattern(fn, rows=11, cols=11):
    return ["".join(fn(x, y) for x in range(cols)) for y in range(rows)]


# User colours 17..33 (letters H..X in patterns).
MAP_COLOURS = [
    (96, 128, 56),    # H 17 moss
    (58, 84, 40),     # I 18 dark moss
    (214, 192, 140),  # J 19 sand
    (170, 146, 98),   # K 20 dark sand
    (168, 80, 48),    # L 21 rust brick
    (96, 56, 36),     # M 22 dark brown
    (172, 168, 160),  # N 23 light stone
    (128, 124, 118),  # O 24 stone
    (80, 78, 76),     # P 25 dark stone
    (52, 110, 170),   # Q 26 water
    (28, 64, 116),    # R 27 deep water
    (226, 98, 24),    # S 28 lava
    (250, 196, 60),   # T 29 glowing lava
    (178, 130, 80),   # U 30 light wood
    (122, 84, 50),    # V 31 dark wood
    (88, 152, 64),    # W 32 grass
    (190, 222, 240),  # X 33 ice
]


def pat_flagstones(x, y):
    if y in (0, 5) or (y < 5 and x in (0, 6)) or (y > 5 and x in (3, 9)):
        return "P"
    tile = (x >= 6) if y < 5 else (x >= 3) + (x >= 9)
    return "NO9"[(tile + (y > 5)) % 3]


def pat_planks(x, y):
    if y % 4 == 3:
        return "V"
    seam = (3, 8, 5, 1)[y // 4 % 4]
    return "M" if x == seam else ("U" if (x + y) % 5 else "K")


def pat_water(x, y):
    crest = (y + int(2 * math.sin(x * 0.9))) % 4
    return "F" if crest == 0 and x % 3 != 2 else ("Q" if crest in (1, 3) else "R")


def pat_lava(x, y):
    r = Rng(x * 31 + y * 17 + 5).rand(9)
    if (x + 2 * y) % 7 == 0 or (2 * x - y) % 9 == 0:
        return "T"
    return "M" if r == 0 else "S" if r < 6 else "A"


def pat_grass(x, y):
    r = Rng(x * 13 + y * 29 + 1).rand(10)
    return "B" if r == 0 else "H" if r < 3 else "3" if r == 3 else "W"


def pat_ice(x, y):
    if (x + y) % 6 == 0 or (x - y) % 9 == 4:
        return "G"
    return "9" if Rng(x * 7 + y * 3 + 2).rand(6) == 0 else "X"


def pat_runes(x, y):
    d = (x - 5) ** 2 + (y - 5) ** 2
    if 15 <= d <= 22 or (d < 5 and (x == 5 or y == 5)):
        return "F"
    return pat_flagstones(x, y).replace("9", "6")


def pat_vault(x, y):
    if x == y or x == 10 - y:
        return "N"
    return "P" if y in (0, 10) or x in (0, 10) else "O"


def pat_beams(x, y):
    return "V" if x in (1, 2, 7, 8) else ("M" if y % 3 == 0 else "U")


def pat_sky(x, y):
    cloud = (x - 3) ** 2 + 2 * (y - 3) ** 2 < 8 or (x - 7) ** 2 + 2 * (y - 7) ** 2 < 7
    return "G" if cloud else ("F" if y < 5 else "Q")


def pat_rock(x, y):
    r = Rng(x * 11 + y * 41 + 9).rand(7)
    return "1" if r == 0 else "O" if r < 3 else "P"


PAT_CHEST = """
00000000000
00000000000
0VVVVVVVVV0
0VUUUUUUUV0
0VUUUUUUUV0
08888888880
0VUUUCUUUV0
0VUUUCUUUV0
0VUUUUUUUV0
0VVVVVVVVV0
00000000000
"""

PAT_FOUNTAIN = """
00009990000
00999999900
0999QQQ9990
099QQFQQ990
99QQFFFQQ99
99QFFGFFQ99
99QQFFFQQ99
099QQFQQ990
0999QQQ9990
00999999900
00009990000
"""

PAT_STATUE = """
00000000000
000NNNNN000
00NN888NN00
0NN89998NN0
0N8999998N0
0N89GGG98N0
0N8999998N0
0NN89998NN0
00NN888NN00
000NNNNN000
00000000000
"""

PAT_BARREL = """
00000000000
000VVVVV000
00VUUUUUV00
0VU88888UV0
0VUUVVVUUV0
0VUUVMVUUV0
0VUUVVVUUV0
0VU88888UV0
00VUUUUUV00
000VVVVV000
00000000000
"""

PAT_BRAZIER = """
00000000000
00011111000
00188888100
01880A08810
0180ACA0810
018ACTCA810
0180ACA0810
01880A08810
00188888100
00011111000
00000000000
"""

PAT_STAIRS = """
NNNNNNNNNNN
NNNNNNNNNNN
OOOOOOOOOOO
OOOOOOOOOOO
PPPPPPPPPPP
PPPPPPPPPPP
88888888888
88888888888
11111111111
11111111111
11111111111
"""

PAT_ALTAR = """
00000000000
00000000000
0NNNNNNNNN0
0N2222222N0
0N22CCC22N0
0N222C222N0
0N222C222N0
0N2222222N0
0NNNNNNNNN0
00000000000
00000000000
"""


# ============================================================== content


def wall(name, rows, params, events=()):
    return Element(name, params, events, rows_from(rows, 4, 11))


SHARED_WALLS = [
    wall("Brick wall", """
        LLLMLLLLMLL
        MMMMMMMMMMM
        LMLLLLMLLLL
        MMMMMMMMMMM""",
         [("imageDir", "brick"), ("imageFront", "front.png"), ("imageSide", "side.png")]),
    wall("Mossy stone", """
        OHONOOHIONO
        PPPPPPPPPPP
        NOOHOONOHOO
        PPPPPPPPPPP""",
         [("imageDir", "mossy"), ("imageFront", "front.jpg"), ("imageSide", "side.jpg")]),
    wall("Stone wall", """
        PP1PPP1PPP1
        PPPPPPPPPPP
        NONNNONNNNO
        PPPPPPPPPPP""",
         [("imageDir", "stone"), ("imageFront", "front.png"), ("imageSide", "side.png"),
          ("imageFar", "far.png")]),
    wall("Wooden door", """
        VUUUUUUUUCV
        VUVUUVUUVUV
        V888888888V
        VUVUUVUUVUV""",
         [("group", "doors"), ("imageDir", "door_wood"), ("imageFront", "front.png"),
          ("imageSide", "side.png"), ("door", "T")],
         [("onOpen", 'PlaySound("creak.wav");')]),
    wall("Iron door", """
        P8888C8888P
        P8988898888
        P8888888888
        P8988898888""",
         [("group", "doors"), ("imageDir", "door_iron"), ("imageFront", "front.jpg"),
          ("imageSide", "side.png"), ("door", "T"), ("key", "Iron key")],
         [("onLocked", script('Message("The iron door will not move. It wants a key.");',
                              'if (Player.HasItem("Iron key")) {',
                              '    Message("Your iron key fits the lock.");',
                              '}'))]),
    wall("Portcullis", """
        80808080808
        88888888888
        80808080808
        80808080808""",
         [("group", "doors"), ("imageDir", "portcullis"), ("imageFront", "front.png"),
          ("imageSide", "side.png"), ("transparent", "T"), ("door", "T")],
         [("onUse", script('// the portcullis is the wall the party faces',
                           'if (Flag("winch turned") == 1) {',
                           '    CurrentMap.OpenDoor(Player.X, Player.Y, Player.Facing);',
                           '} else {',
                           '    Message("The bars are too heavy to lift by hand.");',
                           '}'))]),
    wall("Plank wall", """
        UVUUVUUUVUU
        UVUUVUUUVUU
        VVVVVVVVVVV
        UUVUUUVUUVU""",
         [("imageDir", "planks"), ("imageFront", "front.jpg"), ("imageSide", "side.jpg"),
          ("breakable", "T"), ("strength", "12")],
         [("onHit", 'Message("The old boards groan.");')]),
    wall("Rough rock", """
        POPPOPOOPPO
        OPPOOPPPOOP
        PPOPPOPOPPO
        OPPPOPPOPOP""",
         [("imageDir", "rock"), ("imageFront", "front.jpg"), ("imageSide", "side.jpg")]),
    wall("Archway", """
        N000000000N
        NN0000000NN
        NNNNNNNNNNN
        NOOOOOOOOON""",
         [("imageDir", "arch"), ("imageFront", "front.png"), ("imageSide", "side.png"),
          ("passable", "T"), ("transparent", "T")]),
]

SHARED_FLOORS = [
    Element("Flagstones", [("image", "flagstones.png")], (), pattern(pat_flagstones)),
    Element("Wooden floor", [("image", "planks.jpg")], (), pattern(pat_planks)),
    Element("Water", [("image", "water.png"), ("walkable", "F")],
            [("onEnter", script('Message("You wade into cold black water.");', 'PlaySound("splash.wav");'))],
            pattern(pat_water)),
    Element("Lava", [("image", "lava.png"), ("damage", "10")],
            [("onEnter", script('Message("The ground burns beneath your boots!");', "Player.Hurt(10);")),
             ("onDrop", 'Message("It is gone in a puff of smoke.");')], pattern(pat_lava)),
    Element("Grass", [("image", "grass.jpg")], (), pattern(pat_grass)),
    Element("Ice", [("image", "ice.png"), ("slippery", "T")], (), pattern(pat_ice)),
]

SHARED_CEILINGS = [
    Element("Stone vault", [("image", "vault.png")], (), pattern(pat_vault)),
    Element("Wooden beams", [("image", "beams.jpg"), ("height", "LOW")], (), pattern(pat_beams)),
    Element("Open sky", [("image", "sky.jpg"), ("height", "HIGH"), ("sky", "T")],
            [("onEnter", 'Message("Fresh air at last.");')], pattern(pat_sky)),
    Element("Low rock", [("image", "rock.png"), ("height", "LOW")], (), pattern(pat_rock)),
]

SHARED_OBJECTS = [
    Element("Chest", [("image", "chest.png"), ("container", "T"), ("contents", "Healing potion")],
            [("onOpen", script('PlaySound("lid.wav");', 'Message("The lid swings open.");'))],
            rows_from(PAT_CHEST, 11, 11)),
    Element("Fountain", [("image", "fountain.png"), ("light", "2")],
            [("onUse", script("local i;",
                              "for (i = 1; i <= PartySize; i = i + 1) {",
                              "    Hero(i).Heal(5);",
                              "}",
                              'Message("The water tastes of iron and snow.");'))],
            rows_from(PAT_FOUNTAIN, 11, 11)),
    Element("Statue", [("image", "statue.png")],
            [("onSearch", 'Message("Words are cut into the base, too worn to read.");')],
            rows_from(PAT_STATUE, 11, 11)),
    Element("Barrel", [("image", "barrel.png"), ("container", "T")], (), rows_from(PAT_BARREL, 11, 11)),
    Element("Brazier", [("image", "brazier.png"), ("light", "10")],
            [("onUse", 'Message("Too hot to touch.");')], rows_from(PAT_BRAZIER, 11, 11)),
    Element("Stairs", [("image", "stairs.png"), ("blocking", "F")],
            [("onUse", 'Player.Teleport(CurrentMap.Param("downMap"), Player.X, Player.Y, Player.Facing);')],
            rows_from(PAT_STAIRS, 11, 11)),
]

SHARED_ITEMS = [
    Element("Short sword", [("kind", "WEAPON"), ("icon", "sword.png"), ("title", "short sword"),
                            ("weight", "30"), ("price", "25"), ("damage", "6")]),
    Element("Rapier", [("kind", "WEAPON"), ("icon", "rapier.gif"), ("title", "Épée"),
                       ("weight", "20"), ("price", "90"), ("damage", "8")],
            [("onHit", 'if (Monster.Health < 10) { Monster.Damage(2, "cut"); }')]),
    Element("Leather cap", [("kind", "ARMOUR"), ("icon", "cap.png"), ("title", "leather cap"),
                            ("weight", "8"), ("price", "6"), ("armour", "1"), ("slot", "HEAD")]),
    Element("Round shield", [("kind", "SHIELD"), ("icon", "shield.gif"), ("title", "round shield"),
                             ("weight", "60"), ("price", "18"), ("armour", "2")]),
    Element("Healing potion", [("kind", "POTION"), ("icon", "potion.gif"), ("title", "red potion"),
                               ("weight", "3"), ("price", "40"), ("charges", "1"), ("consumed", "T")],
            [("onUse", script("Item.Owner.Heal(20);", 'Message(Item.Owner.Name + " feels much better.");'))]),
    Element("Iron key", [("kind", "KEY"), ("icon", "key.png"), ("title", "iron key"), ("weight", "2")]),
    Element("Bread", [("kind", "FOOD"), ("icon", "bread.gif"), ("title", "loaf of bread"),
                      ("weight", "5"), ("price", "1"), ("consumed", "T")],
            [("onUse", "Item.Owner.Heal(2);")]),
]

SHARED_MONSTERS = [
    Element("Rat", [("image", "rat.png"), ("size", "SMALL"), ("hitPoints", "4"), ("attack", "2"),
                    ("speed", "8"), ("flees", "1")]),
    Element("Giant rat", [("parent", "Rat"), ("image", "giant_rat.png"), ("hitPoints", "12"),
                          ("attack", "4"), ("damage", "3"), ("speed", "7")],
            [("onSee", 'Message("Something large scurries in the dark.");')]),
    Element("Plague rat", [("parent", "Rat"), ("image", "plague_rat.png"), ("size", "SMALL"),
                           ("hitPoints", "6"), ("attack", "3"), ("damage", "2"), ("speed", "8")],
            [("onHit", script("if (Random(1, 4) == 1) {", "    Monster.Target.Hurt(1);",
                              '    Message(Monster.Target.Name + " feels feverish.");', "}"))]),
    Element("Skeleton", [("image", "skeleton.png"), ("imageAttack", "skeleton_attack.png"),
                         ("hitPoints", "18"), ("armour", "2"), ("attack", "5"), ("damage", "5"),
                         ("speed", "4"), ("undead", "T"), ("loot", "Short sword"), ("wanders", "F")],
            [("onDeath", 'Message("The bones clatter to the floor.");')]),
    Element("Cave troll", [("image", "troll.png"), ("size", "LARGE"), ("hitPoints", "60"),
                           ("armour", "3"), ("attack", "8"), ("damage", "12"), ("speed", "3"),
                           ("loot", "Round shield"), ("wanders", "F")],
            [("onSee", script('PlaySound("roar.wav");', 'Message("A troll rises from the embers!");')),
             ("onDeath", script('SetFlag("troll slain", 1);', "Player.AddExperience(200);"))]),
]

SHARED_NPCS = [
    Element("Old hermit",
            [("image", "hermit.png"), ("portrait", "hermit.jpg"), ("standImage", "hermit_stand.png"),
             ("title", "old hermit"), ("greeting", "Mind the water, young ones."), ("gold", "3")],
            [("onTalk", script('if (Flag("troll slain") == 1) {',
                               '    Npc.Say("So the beast is dead. I may sleep again.", 4);',
                               "}"))],
            keywords=[("name", reply("Names are for people who get letters.")),
                      ("halls", reply("Dwarves cut these halls, long before the troll came.")),
                      ("troll", reply("It sleeps in the fire cave. Let it sleep.")),
                      ("key", reply("Keys? The skeletons hid one behind a cracked wall."))]),
    Element("Smith",
            [("image", "smith.png"), ("portrait", "smith.jpg"), ("standImage", "smith_stand.png"),
             ("title", "smith"), ("greeting", "Need an edge on that blade?"), ("trader", "T"),
             ("sells", "Short sword"), ("gold", "250")],
            [("onBuy", script('Npc.Say("Mind you keep it oiled.", 3);', 'PlaySound("anvil.wav");'))],
            keywords=[("buy", script('Npc.Say("Swords, caps, shields. Coin first.", 4);', "Npc.Trade();")),
                      ("forge", reply("The fire here never goes out. The lava sees to that.")),
                      ("rapier", reply("A fine blade from the south. I have seen one in the storeroom."))]),
]

SHARED_NAMES = [("gameName", "A Kestrune adventure"), ("hero1", "Aldric"), ("hero2", "Brenna"),
                ("hero3", "Corvin"), ("hero4", "Dagna"), ("gold", "gold"), ("turn", "turn")]

PROJECT_WALLS = [
    wall("Cracked wall", """
        NNON1NNONNN
        PPP1PPPPPPP
        NON1NONNNNO
        PPPPPPPPPPP""",
         [("imageDir", "stone"), ("imageFront", "cracked.jpg"), ("breakable", "T"), ("strength", "20")],
         [("onHit", script("if (Random(1, 3) == 1) {",
                           '    CurrentMap.SetWall(Player.X, Player.Y, Player.Facing, "");',
                           '    Message("The wall crumbles into rubble.");',
                           "}"))]),
]

PROJECT_FLOORS = [
    Element("Rune floor", [("image", "runes.png")],
            [("onEnter", script('if (Flag("runes read") == 0) {',
                                '    Message("Pale runes glow beneath your feet.");',
                                '    SetFlag("runes read", 1);',
                                "}"))],
            pattern(pat_runes)),
]

PROJECT_OBJECTS = [
    Element("Altar", [("image", "altar.png"), ("light", "4")],
            [("onUse", script('if (Player.HasItem("Lantern")) {',
                              '    Message("The lantern flares with a white light.");',
                              '    Player.TakeItem("Lantern", 1);',
                              '    Player.GiveItem("Lantern", 1);',
                              "}"))],
            rows_from(PAT_ALTAR, 11, 11)),
]

PROJECT_ITEMS = [
    Element("Lantern", [("kind", "MISC"), ("icon", "lantern.gif"), ("title", "brass lantern"),
                        ("weight", "15"), ("price", "12"), ("charges", "40")],
            [("onUse", script("if (Item.Charges > 0) {", '    Message("The lantern throws a warm yellow light.");',
                              "} else {", '    Message("The lantern is out of oil.");', "}"))]),
]

PROJECT_MONSTERS = [
    Element("Hall wraith", [("image", "wraith.png"), ("hitPoints", "25"), ("armour", "4"),
                            ("attack", "6"), ("damage", "4"), ("undead", "T"), ("aggressive", "T"),
                            ("summons", "Skeleton")],
            [("onTurn", script('if (CurrentMap.Param("dark") == "T") {', "    Monster.MoveTo(Player.X, Player.Y);", "}"))]),
]

PROJECT_NAMES = [("gameName", "The Deep Halls"), ("hero1", "Wenna"), ("hero2", "Halvard"),
                 ("hero3", "Anaïs"), ("hero4", "Bram"), ("gold", "crowns")]

GAME_PARAMS = [
    ("startMap", "Deep Halls"), ("startX", "5"), ("startY", "3"), ("startDir", "NORTH"),
    ("startGold", "60"), ("startItem", "Bread"), ("titlePicture", "title.jpg"),
    ("difficulty", "NORMAL"), ("restInterval", "6"),
    ("onStart", script('Message(@hero1 + " and three friends stand at the top of the old stair.");',
                       'Message("Somewhere below, something large is breathing.");',
                       'SetFlag("started", 1);')),
]


# ============================================================== maps

SIDE_STEP = {0: (0, 1), 1: (1, 0), 2: (0, -1), 3: (-1, 0)}
OPPOSITE = {0: 2, 1: 3, 2: 0, 3: 1}


class MapPlan:
    """A map drawn as rooms and corridors; the walls follow from the layout."""

    def __init__(self, name, w, h):
        self.name, self.w, self.h = name, w, h
        self.region = {}
        self.style = {}
        self.floor_at = {}
        self.ceiling_at = {}
        self.links = {}
        self.extra_walls = {}
        self.objects = {}
        self.events = []
        self.params = []
        self.items = []
        self.monsters = []

    def room(self, rid, x0, y0, x1, y1, wall_name, floor, ceiling):
        self.area(rid, [(x, y) for x in range(x0, x1 + 1) for y in range(y0, y1 + 1)], wall_name, floor, ceiling)

    def area(self, rid, cells, wall_name, floor, ceiling):
        self.style[rid] = (wall_name, floor, ceiling)
        for c in cells:
            if not (0 <= c[0] < self.w and 0 <= c[1] < self.h):
                raise ValueError(f"{self.name}: cell {c} outside the map")
            self.region[c] = rid

    def link(self, a, b, wall_name=None):
        """Joins two neighbouring cells of different areas; wall_name puts a door or arch between them."""
        if abs(a[0] - b[0]) + abs(a[1] - b[1]) != 1 or a not in self.region or b not in self.region:
            raise ValueError(f"{self.name}: cannot link {a} and {b}")
        self.links[frozenset((a, b))] = wall_name

    def obj(self, x, y, name, orientation):
        self.objects[(x, y)] = (name, orientation)

    def cells(self):
        """cell -> [wall side 0, 1, 2, 3, floor, ceiling, object, orientation]."""
        grid = {}
        for x in range(self.w):
            for y in range(self.h):
                rec = [None] * 7 + [0]
                rid = self.region.get((x, y))
                if rid is not None:
                    wall_name, floor, ceiling = self.style[rid]
                    rec[4] = self.floor_at.get((x, y), floor)
                    rec[5] = self.ceiling_at.get((x, y), ceiling)
                    for side, (dx, dy) in SIDE_STEP.items():
                        n = (x + dx, y + dy)
                        other = self.region.get(n)
                        key = frozenset(((x, y), n))
                        if key in self.links:
                            rec[side] = self.links[key]
                        elif other != rid:
                            rec[side] = wall_name
                    for (cx, cy, side), name in self.extra_walls.items():
                        if (cx, cy) == (x, y):
                            rec[side] = name
                if (x, y) in self.objects:
                    rec[6], rec[7] = self.objects[(x, y)]
                grid[(x, y)] = rec
        return grid


def cell_key(name):
    """Sort key of a map list entry: whole-map entries first, then by cell and side."""
    if "[" not in name:
        return (0, 0, 0, -1)
    nums = [int(v) for v in name[name.index("[") + 1:-1].split(",")]
    return (1, nums[0], nums[1], nums[2] if len(nums) > 2 else -1)


def map_bytes(plan: MapPlan) -> bytes:
    grid = plan.cells()
    tables = [[], [], [], []]
    slots = [(0, (0, 1, 2, 3)), (1, (4,)), (2, (5,)), (3, (6,))]
    for x in range(plan.w):
        for y in range(plan.h):
            rec = grid[(x, y)]
            for t, fields in slots:
                for f in fields:
                    if rec[f] is not None and rec[f] not in tables[t]:
                        tables[t].append(rec[f])
    out = bytearray([2]) + counted("")
    for t in tables:
        if len(t) > 255:
            raise ValueError("too many elements in one map")
        out.append(len(t))
        for name in t:
            out += counted(name)
    out += struct.pack("<HH", plan.w, plan.h)

    def num(t, name):
        return 0 if name is None else tables[t].index(name) + 1

    for x in range(plan.w):
        for y in range(plan.h):
            r = grid[(x, y)]
            out += bytes([num(0, r[2]), num(0, r[3]), num(0, r[0]), num(0, r[1]),
                          num(1, r[4]), num(2, r[5]), num(3, r[6]), r[7]])
    out += counted_pairs(sorted(plan.events, key=lambda p: cell_key(p[0])))
    items = sorted(plan.items, key=lambda it: (it[0], it[1]))
    out += struct.pack("<H", len(items))
    for x, y, params, events in items:
        out += struct.pack("<HH", x, y) + counted_pairs(params) + counted_pairs(events)
    out += counted_pairs([("sizeX", str(plan.w)), ("sizeY", str(plan.h))]
                         + sorted(plan.params, key=lambda p: cell_key(p[0])))
    monsters = sorted(plan.monsters, key=lambda m: (int(m[0][1][1]), int(m[0][2][1])))
    out += struct.pack("<H", len(monsters))
    for params, events in monsters:
        out += counted_pairs(params) + counted_pairs(events)
    return bytes(out)


def item(x, y, definition, *more, events=()):
    return (x, y, [("itemDef", definition)] + list(more), list(events))


def monster(definition, x, y, sx, sy, *more, events=()):
    return ([("1monsterDef", definition), ("x", str(x)), ("y", str(y)), ("sizeX", str(sx)),
             ("sizeY", str(sy))] + list(more), list(events))


def plan_deep_halls() -> MapPlan:
    m = MapPlan("Deep Halls", 40, 32)
    m.room("entry", 2, 2, 9, 8, "Stone wall", "Flagstones", "Stone vault")
    m.room("east", 10, 5, 29, 5, "Stone wall", "Flagstones", "Stone vault")
    m.room("cave", 30, 2, 38, 11, "Mossy stone", "Water", "Low rock")
    for x in range(30, 39):
        m.floor_at[(x, 5)] = "Flagstones"
    for y in range(2, 12):
        m.floor_at[(34, y)] = "Flagstones"
    m.room("north", 5, 9, 5, 19, "Stone wall", "Flagstones", "Stone vault")
    m.room("shrine", 6, 12, 8, 14, "Stone wall", "Rune floor", "Stone vault")
    m.room("garden", 2, 20, 11, 30, "Mossy stone", "Grass", "Open sky")
    m.room("middle", 20, 6, 20, 9, "Stone wall", "Flagstones", "Stone vault")
    m.room("hall", 14, 10, 27, 21, "Brick wall", "Flagstones", "Stone vault")
    m.room("link", 12, 21, 13, 21, "Mossy stone", "Flagstones", "Open sky")
    m.area("ice", [(x, 16) for x in range(28, 34)] + [(34, y) for y in range(16, 22)],
           "Stone wall", "Ice", "Low rock")
    m.room("fire", 30, 22, 38, 30, "Rough rock", "Lava", "Low rock")
    for x in range(30, 39):
        m.floor_at[(x, 26)] = "Flagstones"
    for y in range(22, 31):
        m.floor_at[(34, y)] = "Flagstones"
    m.room("up", 17, 22, 17, 24, "Stone wall", "Flagstones", "Stone vault")
    m.room("store", 14, 25, 20, 30, "Plank wall", "Wooden floor", "Wooden beams")
    m.room("closet", 24, 22, 25, 23, "Stone wall", "Flagstones", "Low rock")
    for y in (26, 27, 28):
        m.ceiling_at[(5, y)] = "Wooden beams"

    m.link((9, 5), (10, 5), "Wooden door")
    m.link((29, 5), (30, 5), "Archway")
    m.link((5, 8), (5, 9))
    m.link((5, 13), (6, 13), "Stone wall")
    m.link((5, 19), (5, 20), "Archway")
    m.link((20, 5), (20, 6))
    m.link((20, 9), (20, 10), "Wooden door")
    m.link((11, 21), (12, 21))
    m.link((13, 21), (14, 21), "Archway")
    m.link((27, 16), (28, 16))
    m.link((34, 21), (34, 22), "Portcullis")
    m.link((17, 21), (17, 22))
    m.link((17, 24), (17, 25), "Iron door")
    m.link((24, 21), (24, 22), "Cracked wall")

    m.obj(2, 2, "Stairs", 1)
    m.obj(2, 8, "Brazier", 2)
    m.obj(9, 2, "Brazier", 0)
    m.obj(8, 13, "Altar", 3)
    m.obj(37, 10, "Statue", 3)
    m.obj(6, 25, "Fountain", 0)
    m.obj(3, 29, "Statue", 2)
    m.obj(10, 29, "Statue", 2)
    for x, y, o in ((16, 12, 1), (16, 19, 1), (25, 12, 3), (25, 19, 3)):
        m.obj(x, y, "Statue", o)
    m.obj(20, 16, "Brazier", 2)
    m.obj(37, 29, "Chest", 3)
    m.obj(15, 30, "Chest", 2)
    m.obj(14, 25, "Barrel", 0)
    m.obj(20, 25, "Barrel", 1)
    m.obj(20, 30, "Barrel", 2)
    m.obj(19, 30, "Barrel", 3)
    m.obj(25, 23, "Chest", 3)

    m.items = [
        item(4, 3, "Bread", ("amount", "3")),
        item(7, 6, "Short sword"),
        item(22, 11, "Leather cap"),
        item(38, 5, "Healing potion", ("amount", "2")),
        item(7, 13, "Lantern", ("charges", "25")),
        item(15, 30, "Rapier", ("visible", "F"),
             events=[("onTake", script('Message("A slender blade lies under old sacking.");',
                                       'SetFlag("rapier found", 1);'))]),
        item(25, 23, "Iron key", ("visible", "F"),
             events=[("onTake", 'Message("A heavy iron key. It smells of rust.");')]),
        item(37, 29, "Round shield", ("visible", "F")),
    ]
    m.monsters = [
        monster("Cave troll", 32, 26, 1, 1, ("facing", "WEST"), ("sleeping", "T"), ("guarding", "T"),
                events=[("onSee", 'Message("Two yellow eyes open in the glow.");')]),
        monster("Skeleton", 18, 18, 2, 0, ("facing", "SOUTH"), ("count", "3"), ("guarding", "T")),
        monster("Giant rat", 18, 27, 0, 0, ("facing", "WEST")),
        monster("Rat", 35, 8, 0, 0, ("facing", "NORTH"), ("count", "2")),
        monster("Plague rat", 9, 24, 0, 0, ("facing", "EAST"), ("hitPoints", "8")),
        monster("Hall wraith", 5, 15, 0, 1, ("facing", "SOUTH"), ("sleeping", "T"),
                events=[("onDeath", script('Message("A cold sigh fades along the corridor.");',
                                           'SetFlag("wraith gone", 1);'))]),
    ]
    m.events = [
        ("onEnter", script('if (Flag("halls visited") == 0) {',
                           '    Message("Dust, cold stone and the smell of smoke.");',
                           '    SetFlag("halls visited", 1);',
                           "}")),
        ("onTimer", script("if (Random(1, 20) == 1) {", '    PlaySound("drip.wav");', "}")),
        ("onRest", script('if (Flag("troll slain") == 0) {',
                          '    Message("You cannot rest with the troll awake.");',
                          "    cancelAction;",
                          "}")),
        ("onEnter[5,9]", 'Message("The corridor runs north into grey light.");'),
        ("onSearch[20,15]", script('Message("Ash and a charred finger bone.");', "Player.GiveGold(5);")),
        ("onEnter[28,16]", 'Message("Frost covers the floor. Step carefully.");'),
        ("onLeave[34,22]", "CurrentMap.CloseDoor(34, 21, 0);"),
        ("onUse[5,13,1]", script('Message("You push the loose stones and they give way.");',
                                    "CurrentMap.OpenDoor(5, 13, 1);")),
        ("onOpen[17,24,0]", 'Message("The iron door grinds open.");'),
        ("onHit[24,21,0]", 'Message("Dust trickles from a crack in the wall.");'),
        ("onUse[29,5,1]", 'Message("Someone scratched an arrow pointing east.");'),
    ]
    m.params = [
        ("title", "The Deep Halls"), ("defaultWall", "Stone wall"), ("defaultFloor", "Flagstones"),
        ("defaultCeiling", "Stone vault"), ("upMap", "Tower"), ("downMap", "Cellar"),
        ("guard", "Old hermit"),
        ("text[2,3]", "Cold air rises from the stairs below."),
        ("noMagic[7,13]", "T"),
        ("text[6,24]", "Water chuckles in an old stone fountain."),
        ("teleportMap[11,30]", "Tower"), ("teleportX[11,30]", "7"), ("teleportY[11,30]", "1"),
        ("teleportDir[11,30]", "NORTH"),
        ("text[20,12]", "Banners hang in rags from the beams high above."),
        ("spinner[31,16]", "T"),
        ("noRest[34,26]", "T"),
        ("dark[36,9]", "T"),
        ("secret[5,13,1]", "T"),
        ("secret[6,13,3]", "T"),
        ("locked[17,24,0]", "T"), ("key[17,24,0]", "Iron key"),
        ("locked[17,25,2]", "T"), ("key[17,25,2]", "Iron key"),
        ("writing[29,5,1]", "Beware the deep water."),
        ("switchOn[34,21,0]", "T"),
    ]
    return m


def plan_cellar() -> MapPlan:
    m = MapPlan("Cellar", 12, 10)
    m.room("main", 1, 1, 6, 5, "Brick wall", "Flagstones", "Low rock")
    m.room("pass", 7, 3, 7, 3, "Brick wall", "Flagstones", "Low rock")
    m.room("wine", 8, 1, 10, 8, "Plank wall", "Wooden floor", "Wooden beams")
    m.room("stair", 3, 6, 3, 6, "Brick wall", "Flagstones", "Low rock")
    m.room("well", 1, 7, 5, 8, "Rough rock", "Rune floor", "Low rock")
    m.floor_at[(1, 8)] = "Water"
    m.floor_at[(2, 8)] = "Water"
    m.link((6, 3), (7, 3))
    m.link((7, 3), (8, 3), "Wooden door")
    m.link((3, 5), (3, 6))
    m.link((3, 6), (3, 7), "Archway")
    m.obj(1, 1, "Stairs", 1)
    m.obj(8, 8, "Barrel", 3)
    m.obj(10, 8, "Barrel", 2)
    m.obj(10, 1, "Barrel", 0)
    m.obj(10, 4, "Barrel", 3)
    m.obj(5, 7, "Altar", 1)
    m.items = [
        item(3, 2, "Lantern"),
        item(9, 5, "Bread", ("amount", "2")),
        item(10, 1, "Healing potion", ("visible", "F")),
    ]
    m.monsters = [
        monster("Rat", 2, 7, 1, 0, ("facing", "SOUTH"), ("count", "3")),
        monster("Giant rat", 9, 6, 0, 0, ("facing", "WEST"), ("sleeping", "T")),
    ]
    m.events = [
        ("onEnter", script('Message("It is pitch dark and smells of old wine.");',
                           'if (!Player.HasItem("Lantern")) {',
                           '    Message("You wish you had a light.");',
                           "}")),
        ("onSearch[10,1]", 'Message("Something glints between the barrels.");'),
        ("onUse[7,3,1]", 'Message("The door is swollen with damp.");'),
    ]
    m.params = [
        ("title", "Wine Cellar"), ("defaultWall", "Brick wall"), ("defaultFloor", "Flagstones"),
        ("dark", "T"), ("upMap", "Deep Halls"),
        ("text[1,1]", "Stone steps lead back up to the halls."),
        ("noRest[1,8]", "T"),
        ("writing[8,5,3]", "Harvest of the fourth year. Do not open before spring."),
    ]
    return m


def plan_tower() -> MapPlan:
    m = MapPlan("Tower", 16, 16)
    ring = [(x, y) for x in range(16) for y in range(16) if (x - 7.5) ** 2 + (y - 8) ** 2 <= 6.1 ** 2]
    m.area("top", ring, "Stone wall", "Flagstones", "Open sky")
    for c in ring:
        if (c[0] - 7.5) ** 2 + (c[1] - 8) ** 2 > 4.2 ** 2:
            m.ceiling_at[c] = "Wooden beams"
            m.floor_at[c] = "Wooden floor"
    m.room("stair", 7, 0, 7, 1, "Stone wall", "Flagstones", "Low rock")
    m.link((7, 1), (7, 2), "Archway")
    m.obj(7, 0, "Stairs", 0)
    m.obj(7, 8, "Statue", 2)
    m.obj(4, 8, "Brazier", 1)
    m.obj(11, 8, "Brazier", 3)
    m.obj(10, 12, "Chest", 2)
    m.items = [
        item(9, 10, "Healing potion"),
        item(10, 12, "Bread", ("visible", "F")),
    ]
    m.monsters = [
        monster("Skeleton", 9, 4, 1, 1, ("facing", "WEST"), ("sleeping", "T"), ("count", "4")),
        monster("Hall wraith", 5, 11, 0, 0, ("facing", "EAST")),
    ]
    m.events = [
        ("onEnter", 'Message("Wind howls round the top of the old tower.");'),
        ("onTimer", script("if (Hour >= 20) {", '    CurrentMap.MonsterAt(5, 11).MoveTo(Player.X, Player.Y);', "}")),
        ("onEnter[7,2]", 'Message("From here you can see the whole valley.");'),
        ("onUse[7,14,0]", script('Message("You lean out between the battlements.");', "Wait(2);",
                                 'Message("Far below, the river shines in the valley.");')),
    ]
    m.params = [
        ("title", "Old Tower"), ("defaultWall", "Stone wall"), ("defaultCeiling", "Open sky"),
        ("downMap", "Deep Halls"),
        ("teleportMap[7,1]", "Deep Halls"), ("teleportX[7,1]", "11"), ("teleportY[7,1]", "29"),
        ("teleportDir[7,1]", "SOUTH"),
        ("text[7,7]", "A statue of Sir Émile watches the road."),
        ("writing[7,14,0]", "Keep watch. Keep faith."),
    ]
    return m


DEFINED_NPCS = [
    ("Oswin", [("1NPCDef", "Old hermit"), ("map", "Deep Halls"), ("x", "4"), ("y", "6"), ("sizeX", "0"),
               ("sizeY", "0"), ("facing", "EAST"), ("greeting", "Visitors! Sit, sit. Mind the stairs.")],
     [("onMeet", script('Message("An old man in a patched robe looks up from his fire.");',
                        "Npc.SetMood(Npc.Mood + 10);"))],
     [("name", reply("Oswin, once a miner, now a hermit.")),
      ("stairs", reply("They go down to the cellar. Rats live there now.")),
      ("tower", reply("Step on the far corner of the garden and you will see."))]),
    ("Mara", [("1NPCDef", "Smith"), ("map", "Deep Halls"), ("x", "22"), ("y", "12"), ("sizeX", "1"),
              ("sizeY", "0"), ("facing", "SOUTH")],
     [("onGive", script('if (Item.Name == "Round shield") {',
                        '    Npc.Say("A good shield. I will fix the rim for nothing.", 4);',
                        "    Item.Identify();",
                        "}"))],
     [("anvil", reply("Dwarf make. It will outlast us all.")),
      ("name", reply("Mara. I keep the forge and the forge keeps me."))]),
    ("Tamsin", [("1NPCDef", "Old hermit"), ("map", "Deep Halls"), ("x", "8"), ("y", "22"), ("sizeX", "0"),
                ("sizeY", "0"), ("facing", "NORTH"), ("greeting", "Have you seen my goat?"),
                ("follows", "T")],
     [("onTalk", script('if (Player.HasItem("Bread")) {',
                        '    Npc.Say("Bread! Would you spare a little?", 3);',
                        "}"))],
     [("goat", reply("White, with one black ear. She likes the fountain.")),
      ("name", reply("Tamsin. I tend the garden, such as it is."))]),
]


def defined_npcs_bytes() -> bytes:
    out = bytearray()
    for name, params, events, keywords in sorted(DEFINED_NPCS, key=lambda n: b(n[0])):
        out += counted(name) + counted_pairs(params) + counted_pairs(events)
        out += counted_pairs(sorted(keywords, key=lambda kv: b(kv[0])))
    out += b"\x00"
    return bytes(out)


def map_colours_bytes() -> bytes:
    out = bytearray()
    for r, g, bl in MAP_COLOURS:
        out += b"%d" % r + AB + b"%d" % g + AB + b"%d" % bl + AB + b"\n\r"
    out += AB
    return bytes(out)


# ============================================================== pictures to write


def pictures():
    """(path relative to this folder, bytes) of every picture."""
    out = []

    def png(path, cv, alpha=True):
        out.append((path, png_bytes(cv, alpha)))

    def jpg(path, cv, quality=90):
        out.append((path, jpeg_bytes(cv, quality)))

    def gif(path, cv):
        out.append((path, gif_bytes(cv)))

    rng = Rng(7)
    walls = "data/images/walls/"
    front = tex_bricks(64, 64, rng)
    png(walls + "brick/front.png", front, False)
    png(walls + "brick/side.png", side_view(front, rng), False)
    front = add_moss(tex_blocks(64, 64, rng, STONE, MORTAR), rng, amount=0.46)
    jpg(walls + "mossy/front.jpg", front)
    jpg(walls + "mossy/side.jpg", side_view(front, rng))
    front = tex_blocks(64, 64, rng, (156, 150, 140), MORTAR, row_h=16, widths=(18, 30))
    png(walls + "stone/front.png", front, False)
    png(walls + "stone/side.png", side_view(front, rng), False)
    png(walls + "stone/far.png", far_view(front), False)
    front = tex_wood_door(64, 64, rng)
    png(walls + "door_wood/front.png", front, False)
    png(walls + "door_wood/side.png", side_view(front, rng), False)
    front = tex_iron_door(64, 64, rng)
    jpg(walls + "door_iron/front.jpg", front)
    png(walls + "door_iron/side.png", side_view(front, rng), False)
    front = tex_portcullis(64, 64, rng)
    png(walls + "portcullis/front.png", front)
    png(walls + "portcullis/side.png", side_view(front, rng))
    front = tex_planks(64, 64, rng, vertical=True, plank=13)
    jpg(walls + "planks/front.jpg", front)
    jpg(walls + "planks/side.jpg", side_view(front, rng))
    front = tex_rock(64, 64, rng)
    jpg(walls + "rock/front.jpg", front)
    jpg(walls + "rock/side.jpg", side_view(front, rng))
    front = tex_arch(64, 64, rng)
    png(walls + "arch/front.png", front)
    png(walls + "arch/side.png", side_view(front, rng))

    floors = "data/images/floors/"
    png(floors + "flagstones.png", tex_flagstones(64, 64, rng), False)
    jpg(floors + "planks.jpg", tex_planks(64, 64, rng, vertical=False, plank=11))
    png(floors + "water.png", tex_water(64, 64, rng), False)
    png(floors + "lava.png", tex_lava(64, 64, rng), False)
    jpg(floors + "grass.jpg", tex_grass(64, 64, rng))
    png(floors + "ice.png", tex_ice(64, 64, rng), False)

    ceilings = "data/images/ceilings/"
    png(ceilings + "vault.png", tex_vault(64, 64, rng), False)
    jpg(ceilings + "beams.jpg", tex_beams(64, 64, rng))
    jpg(ceilings + "sky.jpg", tex_sky(64, 64, rng))
    png(ceilings + "rock.png", tex_rock(64, 64, rng, base=(92, 88, 84)), False)

    objects = "data/images/objects/"
    for name, fn in (("chest", obj_chest), ("fountain", obj_fountain), ("statue", obj_statue),
                     ("barrel", obj_barrel), ("brazier", obj_brazier), ("stairs", obj_stairs)):
        png(objects + name + ".png", fn(rng))

    monsters = "data/images/monsters/"
    png(monsters + "rat.png", mon_rat(rng))
    png(monsters + "giant_rat.png", mon_rat(rng, fur=(86, 70, 62), eye=(250, 150, 30), size=1.25))
    png(monsters + "plague_rat.png", mon_rat(rng, fur=(116, 126, 84), eye=(200, 230, 60), size=0.9))
    png(monsters + "skeleton.png", mon_skeleton(rng))
    png(monsters + "skeleton_attack.png", mon_skeleton(rng, attacking=True))
    png(monsters + "troll.png", mon_troll(rng))

    npcs = "data/images/npcs/"
    hermit = npc_hermit(rng)
    smith = npc_smith(rng)
    png(npcs + "hermit.png", hermit)
    png(npcs + "smith.png", smith)
    png(npcs + "hermit_stand.png", npc_hermit(rng, 32, 48, full=True))
    png(npcs + "smith_stand.png", npc_smith(rng, 32, 48, full=True))
    jpg(npcs + "portraits/hermit.jpg", portrait(hermit, (70, 90, 70)))
    jpg(npcs + "portraits/smith.jpg", portrait(smith, (110, 70, 50)))

    items = "data/images/items/"
    gif(items + "sword.gif", icon_sword(rng))
    gif(items + "rapier.gif", icon_sword(rng, rapier=True))
    gif(items + "cap.gif", icon_cap(rng))
    gif(items + "shield.gif", icon_shield(rng))
    gif(items + "potion.gif", icon_potion(rng))
    gif(items + "key.gif", icon_key(rng))
    gif(items + "bread.gif", icon_bread(rng))

    jpg("data/images/title/title.jpg", title_picture(rng))

    proj = "demo.game/images/"
    cracked = tex_blocks(64, 64, Rng(11), (156, 150, 140), MORTAR, row_h=16, widths=(18, 30))
    crack = Rng(12)
    for x, y, length in ((22, 0, 64), (24, 20, 18), (21, 40, 14)):
        for _ in range(length):
            cracked.put(x, y, (30, 28, 26))
            cracked.put(x + 1, y, (84, 80, 76))
            x += crack.rand(3) - 1 if length == 64 else (1 if y % 2 else 0) * (1 if x > 22 else -1)
            y += 1
    jpg(proj + "walls/stone/cracked.jpg", cracked)
    png(proj + "floors/runes.png", tex_runes(64, 64, rng), False)
    png(proj + "objects/altar.png", obj_altar(rng))
    gif(proj + "items/lantern.gif", icon_lantern(rng))
    png(proj + "monsters/wraith.png", mon_wraith(rng))
    jpg(proj + "backgrounds/dusk.jpg", backdrop(rng))
    png(proj + "textures/grain.png", tex_grain(32, 32, rng), False)
    return out


# ============================================================== writing

SHARED_LIBS = {"walls": SHARED_WALLS, "floors": SHARED_FLOORS, "ceilings": SHARED_CEILINGS,
               "objects": SHARED_OBJECTS, "items": SHARED_ITEMS, "monsters": SHARED_MONSTERS,
               "npcs": SHARED_NPCS}
PROJECT_LIBS = {"walls": PROJECT_WALLS, "floors": PROJECT_FLOORS, "ceilings": [],
                "objects": PROJECT_OBJECTS, "items": PROJECT_ITEMS, "monsters": PROJECT_MONSTERS,
                "npcs": []}
MAPS = (plan_deep_halls, plan_cellar, plan_tower)

README_IMAGES = {
    "backgrounds": "Pictures shown behind the game's own screens.\n",
    "textures": "Textures the game blends over walls and floors.\n",
}


def all_files():
    files = []
    for kind, elements in SHARED_LIBS.items():
        files.append((f"data/def/{kind}.qv5", library_bytes(kind, elements)))
    files.append(("data/def/names.qv5", text_pairs(SHARED_NAMES)))
    for kind, elements in PROJECT_LIBS.items():
        files.append((f"demo.game/def/{kind}.qv5", library_bytes(kind, elements)))
    files.append(("demo.game/def/names.qv5", text_pairs(PROJECT_NAMES)))
    files.append(("demo.game/def/game.qv5", text_pairs(GAME_PARAMS)))
    files.append(("demo.game/def/mapColors.qv5", map_colours_bytes()))
    for plan in MAPS:
        p = plan()
        files.append((f"demo.game/maps/{p.name}.map", map_bytes(p)))
    files.append(("demo.game/maps/defined.npcs", defined_npcs_bytes()))
    files.extend(pictures())
    for folder, text in README_IMAGES.items():
        files.append((f"demo.game/images/{folder}/README.txt", text.encode("ascii")))
    return files


def write_all():
    files = all_files()
    for top in (DATA, PROJECT):
        if top.exists():
            shutil.rmtree(top)
    for rel, data in files:
        path = HERE / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    print(f"wrote {len(files)} files")


# ============================================================== checking


class Reader:
    def __init__(self, data: bytes):
        self.d = data
        self.p = 0

    def at_end(self):
        return self.p >= len(self.d)

    def byte(self):
        v = self.d[self.p]
        self.p += 1
        return v

    def word(self):
        v = struct.unpack_from("<H", self.d, self.p)[0]
        self.p += 2
        return v

    def counted(self):
        n = self.byte()
        if n == 255:
            n = self.word()
        s = self.d[self.p:self.p + n]
        if len(s) != n:
            raise ValueError("string runs past the end")
        self.p += n
        return s.decode("latin-1")

    def token(self):
        end = self.d.index(AB, self.p)
        s = self.d[self.p:end].strip(b" \r\n")
        self.p = end + 1
        return s.decode("latin-1")

    def text_pairs(self):
        out = []
        while True:
            name = self.token()
            if not name:
                return out
            out.append((name, self.token()))

    def counted_pairs(self):
        out = []
        while True:
            name = self.counted()
            if not name:
                return out
            out.append((name, self.counted()))


def read_definitions():
    """section -> ordered list of (name, type, is_event)."""
    sections = {}
    current = None
    events = False
    for line in DEF_FILE.read_text(encoding="latin-1").splitlines():
        if not line or line[0] in "#/":
            continue
        if line[0] == " ":
            name, typ = line[1:].split("|")[:2]
            sections[current].append((name, typ, events))
        elif line[0] == "+":
            continue
        elif line[0] == ".":
            events = line == ".EVENTS"
        else:
            current = line
            events = False
            sections[current] = []
    return sections


def check_list(where, pairs, section, defs, events, fixed=()):
    names = [n for n, _, e in defs[section] if e == events]
    seen = set()
    last = -1
    for i, (name, value) in enumerate(pairs):
        base = name.split("[")[0]
        if base not in names:
            raise ValueError(f"{where}: {name} is not a{'n event' if events else ' parameter'} of {section}")
        if name.lower() in seen:
            raise ValueError(f"{where}: {name} twice")
        seen.add(name.lower())
        if i < len(fixed):
            if name != fixed[i]:
                raise ValueError(f"{where}: entry {i} is {name}, {fixed[i]} wanted")
            continue
        if "[" not in name:
            pos = names.index(base)
            if pos < last:
                raise ValueError(f"{where}: {name} out of the order of the definition file")
            last = pos
    return {n: v for n, v in pairs}


def check_all():
    defs = read_definitions()
    sections = {"walls": "wallDef", "floors": "FloorDef", "ceilings": "CeilingDef", "objects": "ObjectDef",
                "items": "itemDef", "monsters": "1monsterDef", "npcs": "1NPCDef"}
    expected = dict(all_files())
    problems = 0
    for rel, data in expected.items():
        on_disk = (HERE / rel).read_bytes()
        if on_disk != data:
            print(f"DIFFERS from a fresh run: {rel}")
            problems += 1
    libraries = {}
    counts = {}
    for kind, section in sections.items():
        names = {}
        for top in ("data", "demo.game"):
            r = Reader((HERE / top / "def" / f"{kind}.qv5").read_bytes())
            rows, _ = PATTERN_SIZE[kind]
            rebuilt = []
            while True:
                name = r.token()
                if not name:
                    break
                pat = [r.token()[1:] for _ in range(rows)]
                params = r.text_pairs()
                events = r.text_pairs()
                keywords = r.text_pairs() if kind == "npcs" else None
                check_list(f"{top} {kind} {name}", params, section, defs, False)
                check_list(f"{top} {kind} {name}", events, section, defs, True)
                if name.lower() in names:
                    raise ValueError(f"{kind}: {name} defined twice")
                names[name.lower()] = (name, dict(params), top)
                rebuilt.append(Element(name, params, events, pat, keywords))
            if not r.at_end():
                raise ValueError(f"{top} {kind}: bytes after the end marker")
            if library_bytes(kind, rebuilt) != r.d:
                raise ValueError(f"{top} {kind}: does not survive a read and write")
            counts[(top, kind)] = len(rebuilt)
        libraries[kind] = names

    def exists(kind, name, where):
        if name.lower() not in libraries[kind] or libraries[kind][name.lower()][0] != name:
            raise ValueError(f"{where}: no {kind} element named {name!r}")

    def picture(folder, value, where, any_extension=False):
        for top in ("data", "demo.game"):
            path = HERE / top / folder / value
            if path.exists():
                return
            if any_extension and path.with_suffix(".gif").exists():
                return
        raise ValueError(f"{where}: picture {folder}/{value} missing")

    for kind, names in libraries.items():
        for low, (name, params, top) in names.items():
            where = f"{kind} {name}"
            if kind == "walls":
                folder = "images/walls/" + params["imageDir"]
                for key, default in (("imageFront", "front.png"), ("imageSide", "side.png"), ("imageFar", None)):
                    value = params.get(key, default)
                    if value:
                        picture(folder, value, where)
            elif kind == "items":
                picture("images/items", params["icon"], where, any_extension=True)
            else:
                folder = {"floors": "images/floors", "ceilings": "images/ceilings", "objects": "images/objects",
                          "monsters": "images/monsters", "npcs": "images/npcs"}[kind]
                picture(folder, params["image"], where)
                if "imageAttack" in params:
                    picture(folder, params["imageAttack"], where)
                if "standImage" in params:
                    picture(folder, params["standImage"], where)
                if "portrait" in params:
                    picture(folder + "/portraits", params["portrait"], where)
            for key, lib in (("key", "items"), ("contents", "items"), ("loot", "items"), ("sells", "items"),
                             ("summons", "monsters"), ("parent", kind)):
                if key in params:
                    exists(lib, params[key], where)

    map_names = [p().name for p in MAPS]
    for plan in MAPS:
        name = plan().name
        r = Reader((HERE / "demo.game" / "maps" / f"{name}.map").read_bytes())
        if r.byte() != 2 or r.counted() != "":
            raise ValueError(f"{name}: bad head")
        tables = []
        for kind in ("walls", "floors", "ceilings", "objects"):
            table = [r.counted() for _ in range(r.byte())]
            for n in table:
                exists(kind, n, name)
            tables.append(table)
        w, h = r.word(), r.word()
        cells = {}
        order = [[], [], [], []]
        orientations = set()
        for x in range(w):
            for y in range(h):
                rec = r.d[r.p:r.p + 8]
                r.p += 8
                cells[(x, y)] = rec
                for t, slots in ((0, (2, 3, 0, 1)), (1, (4,)), (2, (5,)), (3, (6,))):
                    for s in slots:
                        if rec[s]:
                            if rec[s] > len(tables[t]):
                                raise ValueError(f"{name}: number past the table")
                            if rec[s] not in order[t]:
                                order[t].append(rec[s])
                if rec[6]:
                    orientations.add(rec[7])
                if rec[7] > 3:
                    raise ValueError(f"{name}: orientation {rec[7]}")
        for t in range(4):
            if order[t] != list(range(1, len(tables[t]) + 1)):
                raise ValueError(f"{name}: table {t} is not in first-appearance order")
        events = r.counted_pairs()
        check_list(f"{name} events", [(n, v) for n, v in events if "[" not in n], "map", defs, True)
        for n, v in events:
            if "[" in n:
                key = n[n.index("["):]
                check_list(f"{name} events", [(n, v)], "mapWall" if key.count(",") == 2 else "mapSquare",
                           defs, True)
        if [cell_key(n) for n, _ in events] != sorted(cell_key(n) for n, _ in events):
            raise ValueError(f"{name}: events out of cell order")
        item_count = r.word()
        for _ in range(item_count):
            x, y = r.word(), r.word()
            params = r.counted_pairs()
            ev = r.counted_pairs()
            if not (x < w and y < h) or not cells[(x, y)][4]:
                raise ValueError(f"{name}: item outside the rooms at {x},{y}")
            check_list(f"{name} item", params, "item", defs, False, ("itemDef",))
            check_list(f"{name} item", ev, "item", defs, True)
            exists("items", params[0][1], name)
        params = r.counted_pairs()
        if params[:2] != [("sizeX", str(w)), ("sizeY", str(h))]:
            raise ValueError(f"{name}: size parameters")
        for n, v in params:
            section = "map" if "[" not in n else ("mapWall" if n.count(",") == 2 else "mapSquare")
            check_list(f"{name} params", [(n, v)], section, defs, False)
            base = n.split("[")[0]
            if base in ("upMap", "downMap", "teleportMap"):
                if v not in map_names:
                    raise ValueError(f"{name}: no map {v}")
        monster_count = r.word()
        covered = 0
        for _ in range(monster_count):
            mp = r.counted_pairs()
            ev = r.counted_pairs()
            check_list(f"{name} monster", mp, "monster", defs, False, ("1monsterDef", "x", "y", "sizeX", "sizeY"))
            check_list(f"{name} monster", ev, "monster", defs, True)
            exists("monsters", mp[0][1], name)
            x, y, sx, sy = (int(mp[i][1]) for i in range(1, 5))
            for cx in range(x, x + sx + 1):
                for cy in range(y, y + sy + 1):
                    if not cells.get((cx, cy), b"\0" * 8)[4] or cells[(cx, cy)][6]:
                        raise ValueError(f"{name}: monster {mp[0][1]} on cell {cx},{cy} without floor or with an object")
            covered += (sx + sy) > 0
        if not r.at_end():
            raise ValueError(f"{name}: bytes after the monsters")
        print(f"{name}.map: {w} x {h}, tables {[len(t) for t in tables]}, {len(events)} events, "
              f"{item_count} items, {len(params)} parameters, {monster_count} monsters "
              f"({covered} larger than one cell), object orientations {sorted(orientations)}")

    r = Reader((HERE / "demo.game" / "maps" / "defined.npcs").read_bytes())
    npc_count = 0
    while True:
        name = r.counted()
        if not name:
            break
        params, events, keywords = r.counted_pairs(), r.counted_pairs(), r.counted_pairs()
        check_list(f"NPC {name}", params, "NPC", defs, False, ("1NPCDef", "map", "x", "y", "sizeX", "sizeY"))
        check_list(f"NPC {name}", events, "NPC", defs, True)
        exists("npcs", params[0][1], name)
        if params[1][1] not in map_names:
            raise ValueError(f"NPC {name}: no map {params[1][1]}")
        npc_count += 1
    if not r.at_end():
        raise ValueError("defined.npcs: bytes after the end marker")

    for rel, section in (("data/def/names.qv5", "names"), ("demo.game/def/names.qv5", "names"),
                         ("demo.game/def/game.qv5", "game params")):
        r = Reader((HERE / rel).read_bytes())
        pairs = r.text_pairs()
        if not r.at_end() or text_pairs(pairs) != r.d:
            raise ValueError(f"{rel}: does not survive a read and write")
        check_list(rel, [p for p in pairs if p[0] in [d[0] for d in defs[section] if not d[2]]], section, defs, False)
    colours = (HERE / "demo.game/def/mapColors.qv5").read_bytes()
    if colours.count(b"\n\r") != 17 or map_colours_bytes() != colours:
        raise ValueError("mapColors.qv5")

    sorted_names = {k: sorted(v) for k, v in libraries.items()}
    for kind, names in sorted_names.items():
        originals = sorted(n for n, _, _ in libraries[kind].values())
        if [n.lower() for n in originals] != names:
            raise ValueError(f"{kind}: byte order and case-blind order differ")
    for kind in sections:
        print(f"{kind}: {counts[('data', kind)]} shared, {counts[('demo.game', kind)]} project")
    print(f"defined.npcs: {npc_count} NPCs")
    if problems:
        print(f"{problems} files differ")
        return 1
    print("check passed")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="read the written files back and check them")
    args = parser.parse_args()
    if args.check:
        return check_all()
    write_all()
    return 0


if __name__ == "__main__":
    sys.exit(main())
