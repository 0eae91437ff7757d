#!/usr/bin/env python3
"""Writes the icon files of vx_three_icons.rc: three icons of solid colours, each
with a 16x16 image in one colour and a 32x32 image in another, so that a test
can tell which icon, and which size of it, came back."""
import os
import struct

# (small RGB, large RGB) of icons 1, 2 and 3.
ICONS = [
    ((255, 0, 0), (255, 255, 0)),
    ((0, 255, 0), (0, 255, 255)),
    ((0, 0, 255), (255, 0, 255)),
]


def image(size, rgb):
    red, green, blue = rgb
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytes((blue, green, red, 255)) * (size * size)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + bytes(mask_row * size)


def icon_file(images):
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    data = b""
    for size, rgb in images:
        body = image(size, rgb)
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(body), offset + len(data))
        data += body
    return directory + data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for number, (small, large) in enumerate(ICONS, 1):
        with open(os.path.join(here, "vx_three_icons_%d.ico" % number), "wb") as out:
            out.write(icon_file([(16, small), (32, large)]))


if __name__ == "__main__":
    main()
