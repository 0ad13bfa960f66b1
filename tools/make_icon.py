#!/usr/bin/env python3
"""Draws the status icon resources/ZRN_Pivlo.png: a USB-C plug outline under a
two-way arrow, 36 x 36 pixels (18 x 18 points at 2x), anti-aliased."""
import struct
import sys
import zlib

SIZE = 36
SS = 4  # samples per pixel side
INK = (32, 110, 200)      # arrows
PORT = (40, 40, 48)       # plug outline


def pill(x, y, cx, cy, half_w, half_h):
    """Signed distance to a horizontal stadium centred on (cx, cy)."""
    r = half_h
    dx = max(abs(x - cx) - (half_w - r), 0.0)
    dy = y - cy
    return (dx * dx + dy * dy) ** 0.5 - r


def in_arrow(x, y):
    """A two-headed horizontal arrow across the upper half."""
    cy = 11.0
    if 9.0 <= x <= 27.0 and abs(y - cy) <= 1.6:
        return True
    for tip, direction in ((4.0, 1), (32.0, -1)):
        d = (x - tip) * direction  # distance from the tip along the shaft
        if 0 <= d <= 7.5 and abs(y - cy) <= d * 0.85:
            return True
    return False


def in_port(x, y):
    outer = pill(x, y, 18.0, 25.5, 13.0, 6.0)
    inner = pill(x, y, 18.0, 25.5, 10.2, 3.2)
    ring = -0.0 >= outer and inner >= 0.0
    tongue = abs(y - 25.5) <= 1.0 and abs(x - 18.0) <= 6.5
    return ring or tongue


def pixel(px, py):
    arrow = port = 0
    for sy in range(SS):
        for sx in range(SS):
            x = px + (sx + 0.5) / SS
            y = py + (sy + 0.5) / SS
            if in_arrow(x, y):
                arrow += 1
            elif in_port(x, y):
                port += 1
    n = SS * SS
    cover = (arrow + port) / n
    if cover == 0:
        return (0, 0, 0, 0)
    w = arrow / (arrow + port)
    rgb = tuple(round(INK[i] * w + PORT[i] * (1 - w)) for i in range(3))
    return rgb + (round(255 * cover),)


def png(width, height, rows):
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main(out):
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    with open(out, "wb") as f:
        f.write(png(SIZE, SIZE, rows))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/ZRN_Pivlo.png")
