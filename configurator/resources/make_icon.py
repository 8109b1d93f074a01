#!/usr/bin/env python3
"""Draws confprog.ico: one 32x32 image in the 16 standard colours.

An adapter card with its mounting bracket, controller chip, a jumper block
(the resources the configurator sets) and gold edge fingers. Run it from
this directory to rebuild the icon; the output is byte-for-byte repeatable.
"""
import struct

# The 16 standard colours, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARK_GREEN, OLIVE, SILVER, GREY, RED, LIME, YELLOW, BLUE, WHITE = 0, 2, 3, 7, 8, 9, 10, 11, 12, 15
SIZE = 32
CLEAR = None

pixels = [[CLEAR] * SIZE for _ in range(SIZE)]


def fill(x0, y0, x1, y1, colour):
    """Fills the rectangle with corners (x0, y0) and (x1, y1), inclusive."""
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            pixels[y][x] = colour


# Mounting bracket on the left, with its top tab and a connector opening.
fill(0, 3, 6, 4, SILVER)
fill(2, 5, 4, 29, SILVER)
fill(4, 5, 4, 29, GREY)
fill(2, 29, 4, 29, GREY)
fill(3, 9, 3, 15, BLACK)

# The board, with a darker rim.
fill(5, 6, 30, 23, DARK_GREEN)
fill(6, 7, 29, 22, LIME)
fill(6, 7, 29, 7, DARK_GREEN)

# Controller chip with its pins.
fill(15, 10, 25, 15, BLACK)
for x in range(16, 25, 2):
    pixels[9][x] = SILVER
    pixels[16][x] = SILVER
pixels[11][16] = GREY

# Jumper block: two rows of pins, one red cap.
for x in range(8, 13, 2):
    pixels[12][x] = BLACK
    pixels[14][x] = BLACK
fill(10, 12, 10, 14, RED)

# Traces from the chip to the bracket and the fingers.
fill(6, 18, 24, 18, OLIVE)
fill(24, 16, 24, 18, OLIVE)
fill(13, 19, 13, 21, OLIVE)
fill(20, 19, 20, 21, OLIVE)

# Blue status light.
pixels[9][27] = BLUE
pixels[10][27] = BLUE

# Edge fingers along the bottom.
fill(9, 24, 28, 26, DARK_GREEN)
for x in range(10, 28, 2):
    fill(x, 24, x, 26, YELLOW)
fill(9, 27, 28, 27, OLIVE)


def ico_bytes():
    xor_rows = []
    and_rows = []
    for y in reversed(range(SIZE)):  # bottom-up
        row = pixels[y]
        xor = bytearray()
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not CLEAR else 0
            lo = row[x + 1] if row[x + 1] is not CLEAR else 0
            xor.append((hi << 4) | lo)
        xor_rows.append(bytes(xor))
        mask = 0
        for x in range(SIZE):
            mask = (mask << 1) | (1 if row[x] is CLEAR else 0)
        and_rows.append(struct.pack(">I", mask))  # 32 bits: already a multiple of four bytes
    xor_data = b"".join(xor_rows)
    and_data = b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(xor_data) + len(and_data), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    image = header + palette + xor_data + and_data
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    with open("confprog.ico", "wb") as out:
        out.write(ico_bytes())
