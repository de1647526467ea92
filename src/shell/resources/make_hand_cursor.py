#!/usr/bin/env python3
"""Writes HAND-M.CUR: a 32x32 Windows cursor of a pointing hand.

The image is drawn below as text ('#' outline, '.' fill, ' ' transparent) and
stored as a 32-bit BGRA bitmap with its AND mask; the hot spot is the tip of
the index finger. Run: python3 make_hand_cursor.py [output path]
"""
import struct
import sys

ART = [
    "      ##",
    "     #..#",
    "     #..#",
    "     #..#",
    "     #..#",
    "     #..###",
    "     #..#..###",
    "     #..#..#..##",
    "     #..#..#..#.#",
    " ### #..#..#..#..#",
    " #..##........#..#",
    " #...#...........#",
    "  #..............#",
    "   #.............#",
    "   #.............#",
    "    #............#",
    "    #...........#",
    "     #..........#",
    "     #.........#",
    "      #........#",
    "      #........#",
    "      ##########",
]
SIZE = 32
HOTSPOT = (7, 0)


def pixel(x, y):
    if y < len(ART) and x < len(ART[y]):
        return ART[y][x]
    return " "


def cursor_bytes():
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        bits = 0
        for x in range(SIZE):
            c = pixel(x, y)
            if c == "#":
                colour += bytes((0, 0, 0, 255))
            elif c == ".":
                colour += bytes((255, 255, 255, 255))
            else:
                colour += bytes((0, 0, 0, 0))
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)  # 32 pixels a row: 4 bytes, already aligned
    image = header + bytes(colour) + bytes(mask)
    icondir = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, HOTSPOT[0], HOTSPOT[1], len(image), 6 + 16)
    return icondir + entry + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "HAND-M.CUR"
    with open(out, "wb") as f:
        f.write(cursor_bytes())
