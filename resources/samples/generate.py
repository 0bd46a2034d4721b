#!/usr/bin/env python3
"""Draws the sample sprites in this directory.

Each sprite is a shape function (is a point inside?) and a colour function.
Pixels are sampled 4 x 4 times, so the edges get partial alpha; everything
outside the shape is fully transparent. Only the standard library is used:
the PNG files are written with zlib and struct.

Usage: python3 generate.py [output-dir]   (default: the directory of this script)
"""

import math
import os
import struct
import sys
import zlib

SUBSAMPLES = 4


def write_png(path, width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples, 8 bits each, straight alpha."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # no filter
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(png)


def render(width, height, inside, colour):
    """inside(x, y) -> bool and colour(x, y) -> (r, g, b) in image coordinates (y down, pixel centres at .5)."""
    step = 1.0 / SUBSAMPLES
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            hits = 0
            for sy in range(SUBSAMPLES):
                for sx in range(SUBSAMPLES):
                    if inside(px + (sx + 0.5) * step, py + (sy + 0.5) * step):
                        hits += 1
            if hits == 0:
                row.append((0, 0, 0, 0))
                continue
            r, g, b = colour(px + 0.5, py + 0.5)
            alpha = round(255 * hits / (SUBSAMPLES * SUBSAMPLES))
            row.append((clamp(r), clamp(g), clamp(b), alpha))
        rows.append(row)
    return rows


def clamp(value):
    return max(0, min(255, int(round(value))))


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def crescent():
    """A concave moon: a disc with an offset disc taken out of it."""
    size = 128
    cx, cy, r = 60.0, 64.0, 56.0
    bx, by, br = 86.0, 50.0, 46.0

    def inside(x, y):
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and (x - bx) ** 2 + (y - by) ** 2 > br * br

    def colour(x, y):
        # Lit from the lower left, darker towards the inner edge.
        light = ((x - 20) * -0.6 + (y - 110) * 0.4) / 90.0
        return mix((255, 226, 110), (214, 150, 30), 0.5 + light * 0.5)

    return size, size, inside, colour


def ring():
    """A tyre: a shape with a hole through it."""
    size = 128
    c, outer, inner = 64.0, 60.0, 30.0

    def inside(x, y):
        d2 = (x - c) ** 2 + (y - c) ** 2
        return inner * inner < d2 <= outer * outer

    def colour(x, y):
        d = math.hypot(x - c, y - c)
        # A lighter band in the middle of the rubber, a tread groove near the edge.
        band = 1.0 - abs(d - (inner + outer) / 2) / ((outer - inner) / 2)
        base = mix((40, 42, 50), (92, 96, 110), band)
        if 52.0 < d < 54.0:
            base = mix(base, (20, 20, 24), 0.7)
        shade = ((x - c) + (y - c)) / (4 * outer)
        return mix(base, (0, 0, 0), 0.25 + shade)

    return size, size, inside, colour


def gear(frame, frames):
    """A ten-tooth gear with an axle hole, turned by a quarter tooth per frame."""
    size = 96
    c = 48.0
    teeth, tip, root, hole = 10, 44.0, 35.0, 10.0
    period = 2 * math.pi / teeth
    turn = frame * period / frames

    def edge(angle):
        phase = ((angle - turn) % period) / period
        if phase < 0.30:
            return tip
        if phase < 0.45:
            return tip + (root - tip) * (phase - 0.30) / 0.15
        if phase < 0.85:
            return root
        return root + (tip - root) * (phase - 0.85) / 0.15

    def inside(x, y):
        dx, dy = x - c, y - c
        d = math.hypot(dx, dy)
        return hole < d <= edge(math.atan2(dy, dx))

    def colour(x, y):
        dx, dy = x - c, y - c
        d = math.hypot(dx, dy)
        base = mix((196, 202, 212), (110, 116, 130), (dx + dy + 2 * tip) / (4 * tip))
        # Three painted spokes make the turning easy to see.
        spoke = ((math.atan2(dy, dx) - turn) % (2 * math.pi / 3)) / (2 * math.pi / 3)
        if 16.0 < d < 30.0 and (spoke < 0.08 or spoke > 0.92):
            base = mix(base, (60, 66, 80), 0.8)
        if d < 16.0:
            base = mix(base, (140, 146, 160), 0.6)
        return base

    return size, size, inside, colour


def crate():
    """A plain convex box with rounded corners."""
    size = 64
    margin, radius = 2.0, 6.0

    def inside(x, y):
        lo, hi = margin + radius, size - margin - radius
        qx = min(max(x, lo), hi)
        qy = min(max(y, lo), hi)
        return (x - qx) ** 2 + (y - qy) ** 2 <= radius * radius

    def colour(x, y):
        border = min(x - margin, y - margin, size - margin - x, size - margin - y)
        wood = mix((196, 140, 82), (160, 104, 52), (math.sin(y * 0.9) + 1) / 4 + x / (2 * size))
        if border < 6.0:
            return mix(wood, (110, 70, 34), 0.6)
        if abs((x - margin) - (y - margin)) < 4.0 or abs((x - margin) + (y - margin) - (size - 2 * margin)) < 4.0:
            return mix(wood, (130, 86, 40), 0.5)
        return wood

    return size, size, inside, colour


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    sprites = {
        "crescent.png": crescent(),
        "ring.png": ring(),
        "crate.png": crate(),
    }
    frames = 4
    for frame in range(frames):
        sprites["gear/gear_%d.png" % (frame + 1)] = gear(frame, frames)
    for name, (width, height, inside, colour) in sorted(sprites.items()):
        path = os.path.join(out, name)
        write_png(path, width, height, render(width, height, inside, colour))
        print(path)


if __name__ == "__main__":
    main()
