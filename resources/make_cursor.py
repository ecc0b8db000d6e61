#!/usr/bin/env python3
"""Draws the link cursor (a pointing hand, 32 x 32, two colours) into hand.cur."""
import struct
import sys

# '#' black outline, '.' white fill, ' ' transparent. The hot spot is the fingertip.
ART = """
     ##
    #..#
    #..#
    #..#
    #..#
    #..###
    #..#..###
    #..#..#..##
 ## #..#..#..#.#
#..##........#..#
#...#...........#
 #..............#
  #.............#
  #.............#
   #............#
   #...........#
    #..........#
    #.........#
     #........#
     #........#
     ##########
"""
HOTSPOT = (5, 1)
SIZE = 32


def build():
    rows = [r for r in ART.split("\n")[1:-1]]
    xor = [[0] * SIZE for _ in range(SIZE)]
    andm = [[1] * SIZE for _ in range(SIZE)]
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch == "#":
                andm[y][x] = 0  # black: AND 0, XOR 0
            elif ch == ".":
                andm[y][x] = 0
                xor[y][x] = 1   # white: AND 0, XOR 1

    def pack(mask):
        out = b""
        for y in reversed(range(SIZE)):  # bottom-up rows
            bits = 0
            for x in range(SIZE):
                bits = (bits << 1) | mask[y][x]
            out += bits.to_bytes(4, "big")
        return out

    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = struct.pack("<II", 0x00000000, 0x00FFFFFF)
    image = header + palette + pack(xor) + pack(andm)
    icondir = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 2, 0, HOTSPOT[0], HOTSPOT[1], len(image), 6 + 16)
    return icondir + entry + image


if __name__ == "__main__":
    with open(sys.argv[1] if len(sys.argv) > 1 else "hand.cur", "wb") as f:
        f.write(build())
