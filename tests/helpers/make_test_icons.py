#!/usr/bin/env python3
"""Writes the icon files of vx_three_icons.rc: three icons of solid colours, each
with a 16x16 image in one colour and a 32x32 image in another, so that a test
can tell which icon, and which size of it, came back."""
import os
import struct

# (small RGB, large RGB) of icons 1, 2 and 3.
ICONS = [((255, 0, 0), (255, 255, 0)), ((0, 255, 0), (0, 255, 255)), ((0, 0, 255), (255, 0, 255))]


def image(size, rgb):
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    mask = bytes(((size + 31) // 32) * 4 * size)
    return header + bytes((rgb[2], rgb[1], rgb[0], 255)) * (size * size) + mask


here = os.path.dirname(os.path.abspath(__file__))
for number, colours in enumerate(ICONS, 1):
    bodies = [image(size, rgb) for size, rgb in zip((16, 32), colours)]
    directory, offset = struct.pack("<HHH", 0, 1, len(bodies)), 6 + 16 * len(bodies)
    for size, body in zip((16, 32), bodies):
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
    with open(os.path.join(here, "vx_three_icons_%d.ico" % number), "wb") as out:
        out.write(directory + b"".join(bodies))
