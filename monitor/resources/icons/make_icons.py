#!/usr/bin/env python3
"""Draws the monitor's icons: 32 x 32 pixels, 16 colours (4 bits a pixel).

Run from anywhere; writes the .ico files next to this script. The pictures
are made of a few primitives on the standard 16-colour palette, so the files
are small and every colour maps exactly onto the display's basic colours.
"""
import os
import struct

SIZE = 32

# The standard 16-colour palette, index -> (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, CYAN, WHITE = range(8, 16)
CLEAR = None


class Canvas:
    def __init__(self):
        self.px = [[CLEAR] * SIZE for _ in range(SIZE)]

    def dot(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = c

    def fill(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.dot(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.dot(x, y0, c)
            self.dot(x, y1, c)
        for y in range(y0, y1 + 1):
            self.dot(x0, y, c)
            self.dot(x1, y, c)

    def box3d(self, x0, y0, x1, y1, face):
        self.fill(x0, y0, x1, y1, face)
        for x in range(x0, x1 + 1):
            self.dot(x, y0, WHITE)
            self.dot(x, y1, BLACK)
        for y in range(y0, y1 + 1):
            self.dot(x0, y, WHITE)
            self.dot(x1, y, BLACK)
        for x in range(x0 + 1, x1):
            self.dot(x, y1 - 1, GREY)
        for y in range(y0 + 1, y1):
            self.dot(x1 - 1, y, GREY)

    def line(self, x0, y0, x1, y1, c):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx = 1 if x0 < x1 else -1
        sy = 1 if y0 < y1 else -1
        err = dx + dy
        while True:
            self.dot(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def disc(self, cx, cy, r, c):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r + r:
                    self.dot(x, y, c)

    def ring(self, cx, cy, r, c):
        for y in range(cy - r - 1, cy + r + 2):
            for x in range(cx - r - 1, cx + r + 2):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if r * r - r <= d <= r * r + r:
                    self.dot(x, y, c)

    def square_wave(self, x0, x1, y_high, y_low, period, c):
        level = y_low
        for x in range(x0, x1 + 1):
            if (x - x0) % period == 0 and x != x0:
                nxt = y_high if level == y_low else y_low
                self.line(x, level, x, nxt, c)
                level = nxt
            self.dot(x, level, c)


def screen(cv, face=TEAL):
    """A small display with a bezel, used by several icons."""
    cv.box3d(1, 2, 30, 25, SILVER)
    cv.fill(4, 5, 27, 21, BLACK)
    cv.frame(3, 4, 28, 22, GREY)
    cv.fill(11, 26, 20, 27, GREY)
    cv.fill(7, 28, 24, 29, SILVER)
    cv.line(7, 29, 24, 29, BLACK)
    return face


def draw_program():
    cv = Canvas()
    screen(cv)
    cv.square_wave(5, 26, 8, 17, 4, LIME)
    cv.line(5, 19, 26, 19, GREEN)
    cv.dot(25, 24, LIME)
    cv.dot(26, 24, LIME)
    return cv


def draw_polls():
    cv = Canvas()
    cv.disc(15, 15, 13, WHITE)
    cv.ring(15, 15, 13, NAVY)
    for x, y in ((15, 4), (26, 15), (15, 26), (4, 15)):
        cv.fill(x - 1, y - 1, x + 1, y + 1, NAVY)
    for x, y in ((23, 7), (23, 23), (7, 23), (7, 7)):
        cv.dot(x, y, NAVY)
    cv.line(15, 15, 15, 7, BLACK)
    cv.line(15, 15, 21, 19, BLACK)
    cv.disc(15, 15, 1, RED)
    cv.fill(26, 0, 31, 5, LIME)
    cv.frame(26, 0, 31, 5, GREEN)
    return cv


def draw_link_status():
    cv = Canvas()
    cv.box3d(0, 8, 10, 22, SILVER)
    cv.box3d(21, 8, 31, 22, SILVER)
    cv.fill(3, 11, 7, 13, BLACK)
    cv.fill(24, 11, 28, 13, BLACK)
    cv.dot(4, 18, LIME)
    cv.dot(5, 18, LIME)
    cv.dot(26, 18, LIME)
    cv.dot(27, 18, LIME)
    for y in (14, 16):
        cv.line(11, y, 20, y, NAVY)
    cv.line(17, 12, 19, 14, NAVY)
    cv.line(12, 16, 14, 18, NAVY)
    cv.disc(15, 27, 3, LIME)
    cv.ring(15, 27, 3, GREEN)
    return cv


def draw_bars(colours, heights, base=28):
    cv = Canvas()
    cv.fill(1, 1, 30, base + 2, WHITE)
    cv.frame(1, 1, 30, base + 2, GREY)
    cv.line(4, 4, 4, base, BLACK)
    cv.line(4, base, 28, base, BLACK)
    x = 7
    for colour, h in zip(colours, heights):
        cv.fill(x, base - h, x + 3, base - 1, colour)
        cv.frame(x, base - h, x + 3, base - 1, BLACK)
        x += 5
    return cv


def draw_opstats():
    return draw_bars((BLUE, LIME, BLUE, LIME), (10, 16, 20, 13))


def draw_comm_errors():
    cv = draw_bars((MAROON, RED, MAROON, RED), (6, 12, 9, 15))
    # A warning mark in the top right corner.
    for i in range(8):
        cv.line(23 - i // 2, 3 + i, 23 + i // 2, 3 + i, YELLOW)
    cv.line(23, 3, 16, 11, BLACK)
    cv.line(23, 3, 30, 11, BLACK)
    cv.line(16, 11, 30, 11, BLACK)
    cv.line(23, 5, 23, 8, BLACK)
    cv.dot(23, 10, BLACK)
    return cv


def draw_modems():
    cv = Canvas()
    cv.box3d(1, 12, 30, 25, SILVER)
    cv.fill(2, 26, 29, 27, GREY)
    cv.disc(8, 17, 2, LIME)
    cv.ring(8, 17, 2, GREEN)
    cv.disc(16, 17, 2, RED)
    cv.ring(16, 17, 2, MAROON)
    cv.fill(21, 16, 27, 18, BLACK)
    cv.line(5, 22, 26, 22, GREY)
    cv.line(15, 11, 15, 4, BLACK)
    cv.line(15, 4, 22, 4, BLACK)
    cv.fill(22, 2, 25, 6, NAVY)
    return cv


def ico_bytes(cv):
    """One 32 x 32, 4-bit image with its AND mask, as an .ico file."""
    rows = []
    mask_rows = []
    for y in range(SIZE - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(0, SIZE, 2):
            a = cv.px[y][x]
            b = cv.px[y][x + 1]
            row.append(((a or 0) << 4) | (b or 0))
        rows.append(bytes(row))
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if cv.px[y][x] is CLEAR else 0)
        mask_rows.append(struct.pack(">I", bits))
    xor = b"".join(rows)
    and_mask = b"".join(mask_rows)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(xor) + len(and_mask), 0, 0, 16, 0)
    image = header + palette + xor + and_mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


ICONS = {
    "aaaprogicon.ico": draw_program,
    "iconpolls.ico": draw_polls,
    "iconlstat.ico": draw_link_status,
    "iconopstats.ico": draw_opstats,
    "iconcomes.ico": draw_comm_errors,
    "iconmodems.ico": draw_modems,
}

if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for name, draw in ICONS.items():
        with open(os.path.join(here, name), "wb") as f:
            f.write(ico_bytes(draw()))
