#!/usr/bin/env python3
"""Writes data/HAND-M.CUR: the hand pointer shown over push buttons.

A 32x32 Windows cursor (.cur) with 32-bit colour and an AND mask, drawn from the
pixel map below. B is the outline, W the fill, '.' is transparent. The hot spot is
the tip of the index finger.
"""
import struct
import sys
from pathlib import Path

HAND = """
......BB.........
.....BWWB........
.....BWWB........
.....BWWB........
.....BWWB........
.....BWWBBB......
.....BWWBWWBBB...
.....BWWBWWBWWBB.
.BBB.BWWBWWBWWBWB
BWWWBBWWWWWWWWBWWB
BWWWWBWWWWWWWWWWWB
.BWWWBWWWWWWWWWWWB
..BWWWWWWWWWWWWWWB
..BWWWWWWWWWWWWWWB
...BWWWWWWWWWWWWWB
...BWWWWWWWWWWWWB.
....BWWWWWWWWWWWB.
....BWWWWWWWWWWWB.
.....BWWWWWWWWWB..
.....BWWWWWWWWWB..
.....BBBBBBBBBBB..
""".strip("\n").splitlines()

SIZE = 32
HOT_X, HOT_Y = 6, 0
COLOURS = {"B": (0, 0, 0, 255), "W": (255, 255, 255, 255)}


def pixel(x, y):
    if y < len(HAND) and x < len(HAND[y]):
        return COLOURS.get(HAND[y][x])
    return None


def cursor_bytes():
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        bits = 0
        for x in range(SIZE):
            p = pixel(x, y)
            if p is None:
                xor += bytes((0, 0, 0, 0))
                bits |= 1 << (SIZE - 1 - x)  # 1 in the AND mask: see-through
            else:
                r, g, b, a = p
                xor += bytes((b, g, r, a))
        mask += bits.to_bytes(SIZE // 8, "big")
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 2, 1)  # reserved, type 2 = cursor, one image
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, HOT_X, HOT_Y, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "data" / "HAND-M.CUR"
    out.parent.mkdir(parents=True, exist_ok=True)
    out.write_bytes(cursor_bytes())
    print(f"wrote {out}")


if __name__ == "__main__":
    main()
