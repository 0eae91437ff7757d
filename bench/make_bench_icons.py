#!/usr/bin/env python3
"""Writes the icons of the benchmark's template program (BenchApp.rc): one
modern icon with 32-bit images (alpha edges) at 16, 32 and 48 pixels plus
8-bit images at 16 and 32, as installers ship them, and one classic 4-bit
icon at 16 and 32. Extracting the small image of each is what a refresh pays
for a program's own icon."""
import os
import struct


def rgba_image(size, rgb):
    """A filled disc with a soft edge: alpha varies at the rim."""
    red, green, blue = rgb
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    mask_row = ((size + 31) // 32) * 4
    centre = (size - 1) / 2.0
    radius = size / 2.0
    for y in range(size):
        row = bytearray(mask_row)
        for x in range(size):
            distance = ((x - centre) ** 2 + (y - centre) ** 2) ** 0.5
            alpha = max(0, min(255, int((radius - distance) * 255)))
            shade = (x + y) * 96 // (2 * size)
            pixels += bytes(((blue + shade) % 256, (green + shade) % 256, red, alpha))
            if alpha == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    # Rows are stored bottom-up.
    rows = [pixels[i * size * 4:(i + 1) * size * 4] for i in range(size)]
    masks = [mask[i * mask_row:(i + 1) * mask_row] for i in range(size)]
    return header + b"".join(reversed(rows)) + b"".join(reversed(masks))


def palette_image(size, bits, colours):
    """Diagonal stripes in a palette of len(colours) entries."""
    count = 1 << bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, 0, 0, 0, count, 0)
    palette = b""
    for i in range(count):
        red, green, blue = colours[i % len(colours)]
        palette += bytes((blue, green, red, 0))
    row_bytes = ((size * bits + 31) // 32) * 4
    mask_row = ((size + 31) // 32) * 4
    data = b""
    for y in range(size):
        row = bytearray(row_bytes)
        for x in range(size):
            value = ((x + y) // 3) % len(colours)
            bit = x * bits
            row[bit // 8] |= value << (8 - bits - bit % 8)
        data += row
    corners = b""
    for y in range(size):
        row = bytearray(mask_row)
        for x in (0, size - 1):
            if y in (0, size - 1):
                row[x // 8] |= 0x80 >> (x % 8)
        corners += row
    return header + palette + data + corners


def icon_file(images):
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    data = b""
    for size, bits, body in images:
        colours = 0 if bits >= 8 else 1 << bits
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits,
                                 len(body), offset + len(data))
        data += body
    return directory + data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    warm = [(200, 40, 40), (240, 160, 0), (250, 230, 120), (120, 20, 20)]
    modern = [(size, 32, rgba_image(size, (30, 110, 200))) for size in (16, 32, 48)]
    modern += [(size, 8, palette_image(size, 8, warm)) for size in (16, 32)]
    classic = [(size, 4, palette_image(size, 4, warm)) for size in (16, 32)]
    for name, images in (("BenchApp_modern.ico", modern), ("BenchApp_classic.ico", classic)):
        with open(os.path.join(here, name), "wb") as out:
            out.write(icon_file(images))


if __name__ == "__main__":
    main()
