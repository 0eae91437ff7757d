#!/usr/bin/env python3
"""Writes the sample programs' icons (samples/icons/*.ico).

Each sample gets its own colour, so that its row in the list is told apart at
a glance from the others and from the default icon. The files are committed;
run this again only to change them. Output is byte-for-byte reproducible.
"""

import os
import struct

# name -> (fill, border) as (r, g, b)
SAMPLES = {
    "machine": ((0x2E, 0x6F, 0xD8), (0x12, 0x3A, 0x80)),
    "user": ((0x2F, 0xA8, 0x4F), (0x14, 0x5C, 0x28)),
    "msi": ((0xE8, 0x8A, 0x1A), (0x8A, 0x4B, 0x05)),
}
SIZES = (16, 32)


def pixel(x, y, size, fill, border):
    """BGRA of one pixel of a rounded square with a border and a light dot."""
    last = size - 1
    corner = size // 8
    edge = max(1, size // 16)
    # Distance to the nearest corner, for corners cut diagonally.
    near = min(abs(x - cx) + abs(y - cy) for cx in (0, last) for cy in (0, last))
    if near < corner:
        return (0, 0, 0, 0)
    on_border = (min(x, y, last - x, last - y) < edge) or near < corner + edge
    r, g, b = border if on_border else fill
    # A white dot in the middle so the icon is not one flat patch.
    mid = size / 2 - 0.5
    if (x - mid) ** 2 + (y - mid) ** 2 <= (size / 5) ** 2:
        r, g, b = 0xFF, 0xFF, 0xFF
    return (b, g, r, 0xFF)


def image(size, fill, border):
    """One icon image: BITMAPINFOHEADER, 32-bit XOR bitmap, 1-bit AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):  # bitmaps are stored bottom-up
        row_mask = bytearray(mask_stride)
        for x in range(size):
            bgra = pixel(x, y, size, fill, border)
            xor += bytes(bgra)
            if bgra[3] == 0:
                row_mask[x // 8] |= 0x80 >> (x % 8)
        mask += row_mask
    return header + bytes(xor) + bytes(mask)


def icon_file(fill, border):
    images = [image(size, fill, border) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(folder, exist_ok=True)
    for name, (fill, border) in SAMPLES.items():
        with open(os.path.join(folder, name + ".ico"), "wb") as f:
            f.write(icon_file(fill, border))


if __name__ == "__main__":
    main()
