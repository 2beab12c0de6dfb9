#!/usr/bin/env python3
"""Draws the agent's tray icon (a blue shield with a white padlock) as a
16x16 + 32x32 32-bit .ico. Run once; the result is committed."""
import struct
import sys


def pixel(x, y, n):
    # Coordinates in a 0..1 square, y downwards.
    u, v = (x + 0.5) / n, (y + 0.5) / n
    # Shield: straight top, sides narrowing into a point at the bottom.
    half = 0.42 if v < 0.55 else 0.42 * max(0.0, (0.98 - v) / 0.43)
    inside = 0.06 <= v <= 0.98 and abs(u - 0.5) <= half
    if not inside:
        return (0, 0, 0, 0)
    # Padlock: body and shackle.
    body = 0.30 <= u <= 0.70 and 0.45 <= v <= 0.75
    r = ((u - 0.5) ** 2 + (v - 0.42) ** 2) ** 0.5
    shackle = 0.10 <= r <= 0.16 and v <= 0.45
    if body or shackle:
        return (255, 255, 255, 255)
    edge = abs(u - 0.5) > half - 1.5 / n or v < 0.06 + 1.5 / n
    return (40, 70, 140, 255) if edge else (60, 120, 210, 255)


def image(n):
    rows = []
    for y in reversed(range(n)):  # bottom-up
        rows.append(b"".join(struct.pack("<BBBB", b, g, r, a) for (r, g, b, a) in (pixel(x, y, n) for x in range(n))))
    xor = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    and_mask = bytes(mask_row * n)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(path):
    sizes = [16, 32]
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
