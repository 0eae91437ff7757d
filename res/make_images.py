#!/usr/bin/env python3
"""Writes the program's icons, sort-arrow bitmaps and hand cursor.

The pictures are the pixel maps below, one letter per pixel. Run
`python3 res/make_images.py` after changing a map and commit the files it
writes beside this script; the build uses those files and never runs Python.
"""

import os
import struct

# The 16 standard colours, in the order the system's own 4-bit images use.
# Letter, (red, green, blue).
PALETTE = [
    ('K', (0, 0, 0)),
    ('M', (128, 0, 0)),
    ('G', (0, 128, 0)),
    ('O', (128, 128, 0)),
    ('N', (0, 0, 128)),
    ('P', (128, 0, 128)),
    ('T', (0, 128, 128)),
    ('S', (192, 192, 192)),  # light grey: mapped to COLOR_3DFACE by LR_LOADMAP3DCOLORS
    ('D', (128, 128, 128)),  # dark grey: mapped to COLOR_3DSHADOW
    ('R', (255, 0, 0)),
    ('L', (0, 255, 0)),
    ('Y', (255, 255, 0)),
    ('B', (0, 0, 255)),
    ('F', (255, 0, 255)),
    ('A', (0, 255, 255)),
    ('W', (255, 255, 255)),
]
INDEX = {letter: i for i, (letter, _) in enumerate(PALETTE)}
TRANSPARENT = '.'

# Application icon: a parcel with a red "remove" badge.
MAINFRAME_32 = """
................................
................................
.........KKKKKKKKKKKKKKKKKKK....
........KYYYYYYYSSSYYYYYYYKK....
.......KYYYYYYYSSSYYYYYYYKMK....
......KYYYYYYYSSSYYYYYYYKMMK....
.....KYYYYYYYSSSYYYYYYYKMMMK....
....KYYYYYYYSSSYYYYYYYKMMMMK....
...KYYYYYYYSSSYYYYYYYKMMMMMK....
..KYYYYYYYSSSYYYYYYYKMMMMMMK....
.KKKKKKKKKKKKKKKKKKKMMMMMMMK....
.KOOOOOOOSSSOOOOOOOKMMMMMMMK....
.KOOOOOOOSSSOOOOOOOKMMMMMMMK....
.KOOOOOOOSSSOOOOOOOKMMMMMMMK....
.KOOOOOOOSSSOOOOOOOKMMMMMMMK....
.KOOOOOOOSSSOOOOOOOKMMMMMMMK....
.KOOOOOOOOOOOOOOOOOKMMMKKKKK....
.KOOOOOOOOOOOOOOOOOKMKKRRRRKK...
.KOOOOOOOOOOOOOOOOOKKRRRRRRRRK..
.KOOOOOOOOOOOOOOOOOKRRRRRRRRRRK.
.KOOOOOOOOOOOOOOOOOKRRRRRRRRRRK.
.KOOOOOOOOOOOOOOOOKRRRRRRRRRRRRK
.KOOOOOOOOOOOOOOOOKRRWWWWWWWWRRK
.KOOOOOOOOOOOOOOOOKRRWWWWWWWWRRK
.KOOOOOOOOOOOOOOOOKRRRRRRRRRRRRK
.KOOOOOOOOOOOOOOOOOKRRRRRRRRRRK.
.KOOOOOOOOOOOOOOOOOKRRRRRRRRRRK.
.KKKKKKKKKKKKKKKKKKKKRRRRRRRRK..
.....................KKRRRRKK...
.......................KKKK.....
................................
................................
"""

MAINFRAME_16 = """
...KKKKKKKKKK...
..KYYYSSYYYKK...
.KYYYSSYYYKMK...
KYYYSSYYYKMMK...
KKKKKKKKKKMMK...
KOOOSSOOOKMMK...
KOOOSSOOOKMKK...
KOOOOOOOOKKRRKK.
KOOOOOOOKRRRRRRK
KOOOOOOOKRRRRRRK
KOOOOOOOKRWWWWRK
KOOOOOOOKRRRRRRK
KOOOOOOOKRRRRRRK
KKKKKKKKKKKRRKK.
..........KKKK..
................
"""

# Stand-in for a program that has no icon of its own: a plain window.
DEFAULT_PROGRAM_16 = """
................
KKKKKKKKKKKKKKK.
KNNNNNNNNNNWWNKD
KNNNNNNNNNNWWNKD
KKKKKKKKKKKKKKKD
KWWWWWWWWWWWWWKD
KWDDDDDDDDWWWWKD
KWWWWWWWWWWWWWKD
KWDDDDDDWWWWWWKD
KWWWWWWWWWWWWWKD
KWDDDDDDDDDWWWKD
KWWWWWWWWWWWWWKD
KWDDDDDWWWWWWWKD
KWWWWWWWWWWWWWKD
KKKKKKKKKKKKKKKD
.DDDDDDDDDDDDDDD
"""

# Header sort arrows: a hollow triangle in rows 4-10, columns 4-11, lit from
# the top left like the other 3-D elements of the header.
SORT_UP = """
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSDWSSSSSSS
SSSSSSSDWSSSSSSS
SSSSSSDSSWSSSSSS
SSSSSSDSSWSSSSSS
SSSSSDSSSSWSSSSS
SSSSSDSSSSWSSSSS
SSSSWWWWWWWWSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
"""

SORT_DOWN = """
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSDDDDDDDDSSSS
SSSSSDSSSSWSSSSS
SSSSSDSSSSWSSSSS
SSSSSSDSSWSSSSSS
SSSSSSDSSWSSSSSS
SSSSSSSDWSSSSSSS
SSSSSSSDWSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
SSSSSSSSSSSSSSSS
"""

# Link cursor: a pointing hand, hot spot on the fingertip at (6, 0).
HAND_HOTSPOT = (6, 0)
HAND = """
.....KKK........................
....KWWWK.......................
....KWWWK.......................
....KWWWK.......................
....KWWWK.......................
....KWWWKKK.....................
....KWWWKWWKKK..................
....KWWWKWWKWWKK................
....KWWWKWWKWWKWWK..............
.KK.KWWWKWWKWWKWWWK.............
KWWKKWWWWWWWWWWWWWK.............
KWWWKWWWWWWWWWWWWWK.............
.KWWWWWWWWWWWWWWWWK.............
..KWWWWWWWWWWWWWWWK.............
..KWWWWWWWWWWWWWWWK.............
...KWWWWWWWWWWWWWWK.............
...KWWWWWWWWWWWWWK..............
....KWWWWWWWWWWWWK..............
....KWWWWWWWWWWWWK..............
.....KWWWWWWWWWWK...............
.....KWWWWWWWWWWK...............
.....KKKKKKKKKKKK...............
................................
................................
................................
................................
................................
................................
................................
................................
................................
................................
"""


def parse(picture, size):
    rows = picture.strip('\n').split('\n')
    if len(rows) != size or any(len(row) != size for row in rows):
        raise ValueError('picture is not %d x %d' % (size, size))
    for row in rows:
        for letter in row:
            if letter != TRANSPARENT and letter not in INDEX:
                raise ValueError('unknown colour letter %r' % letter)
    return rows


def pad4(data):
    return data + b'\0' * (-len(data) % 4)


def pack_bits(values, bits):
    """Packs one row of values MSB first, padded to a 32-bit boundary."""
    out = bytearray()
    acc = 0
    used = 0
    for value in values:
        acc = (acc << bits) | value
        used += bits
        if used == 8:
            out.append(acc)
            acc = used = 0
    if used:
        out.append(acc << (8 - used))
    return pad4(bytes(out))


def info_header(width, height, bit_count, image_size):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bit_count, 0,
                       image_size, 0, 0, 0, 0)


def colour_table(colours):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in colours)


def colour_bits(rows):
    # Bottom-up, as every device-independent bitmap is stored.
    return b''.join(pack_bits([INDEX.get(p, 0) for p in row], 4)
                    for row in reversed(rows))


def mask_bits(rows):
    return b''.join(pack_bits([1 if p == TRANSPARENT else 0 for p in row], 1)
                    for row in reversed(rows))


def icon_image(rows):
    size = len(rows)
    xor = colour_bits(rows)
    mask = mask_bits(rows)
    # An icon image's header counts the colour and mask halves together.
    return (info_header(size, 2 * size, 4, len(xor) + len(mask))
            + colour_table(c for _, c in PALETTE) + xor + mask)


def cursor_image(rows):
    size = len(rows)
    # Monochrome: white where the picture is white, black elsewhere.
    xor = b''.join(pack_bits([1 if p == 'W' else 0 for p in row], 1)
                   for row in reversed(rows))
    mask = mask_bits(rows)
    return (info_header(size, 2 * size, 1, len(xor) + len(mask))
            + colour_table([(0, 0, 0), (255, 255, 255)]) + xor + mask)


def icon_file(kind, entries):
    """entries: (size, colour count, planes or hot spot x, bit count or hot spot y, image)."""
    header = struct.pack('<HHH', 0, kind, len(entries))
    offset = len(header) + 16 * len(entries)
    directory = b''
    images = b''
    for size, colours, word1, word2, image in entries:
        directory += struct.pack('<BBBBHHII', size, size, colours, 0, word1, word2,
                                 len(image), offset + len(images))
        images += image
    return header + directory + images


def ico(*pictures):
    entries = []
    for picture, size in pictures:
        entries.append((size, 16, 1, 4, icon_image(parse(picture, size))))
    return icon_file(1, entries)


def cur(picture, hotspot):
    rows = parse(picture, 32)
    if rows[hotspot[1]][hotspot[0]] == TRANSPARENT:
        raise ValueError('the hot spot lies outside the picture')
    return icon_file(2, [(32, 2, hotspot[0], hotspot[1], cursor_image(rows))])


def bmp(picture):
    rows = parse(picture, 16)
    if TRANSPARENT in ''.join(rows):
        raise ValueError('a bitmap has no transparent pixels')
    bits = colour_bits(rows)
    table = colour_table(c for _, c in PALETTE)
    offset = 14 + 40 + len(table)
    return (b'BM' + struct.pack('<IHHI', offset + len(bits), 0, 0, offset)
            + info_header(16, 16, 4, len(bits)) + table + bits)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    files = {
        'Vantix.ico': ico((MAINFRAME_32, 32), (MAINFRAME_16, 16)),
        'DefaultProgram.ico': ico((DEFAULT_PROGRAM_16, 16)),
        'SortUp.bmp': bmp(SORT_UP),
        'SortDown.bmp': bmp(SORT_DOWN),
        'Hand.cur': cur(HAND, HAND_HOTSPOT),
    }
    for name, data in files.items():
        with open(os.path.join(here, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
