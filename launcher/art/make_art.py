#!/usr/bin/env python3
"""Draws the launcher's two pictures as uncompressed 24-bit BMP files.

    python3 launcher/art/make_art.py [OUTPUT_FOLDER]   (default: launcher/)

Marula１.bmp   the character of the opening, 100 x 110: a round marula fruit
               with a leaf, a waving arm and two eyes whose pupils sit at
               (46,60) and (27,57), where the launcher blinks them.
Marula文字.bmp  the title lettering "Marula", 172 x 62.

Only colours of the screen's 16-colour palette are used, so the pictures
come out exactly as drawn; the background is the screen's white. Standard
library only.
"""
import math
import os
import struct
import sys

BLACK = (0x00, 0x00, 0x00)
BLUE = (0x00, 0x00, 0xAA)
GREEN = (0x00, 0xAA, 0x00)
BROWN = (0xAA, 0x55, 0x00)
RED = (0xAA, 0x00, 0x00)
LIGHT_GREEN = (0x55, 0xFF, 0x55)
LIGHT_RED = (0xFF, 0x55, 0x55)
YELLOW = (0xFF, 0xFF, 0x55)
WHITE = (0xFF, 0xFF, 0xFF)


class Canvas:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = [[WHITE] * width for _ in range(height)]

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def ellipse(self, cx, cy, rx, ry, colour):
        for y in range(int(cy - ry) - 1, int(cy + ry) + 2):
            for x in range(int(cx - rx) - 1, int(cx + rx) + 2):
                if ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 < 1.0:
                    self.set(x, y, colour)

    def ring(self, cx, cy, rx, ry, thickness, colour):
        for y in range(int(cy - ry) - 1, int(cy + ry) + 2):
            for x in range(int(cx - rx) - 1, int(cx + rx) + 2):
                outer = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2
                inner = ((x - cx) / (rx - thickness)) ** 2 + ((y - cy) / (ry - thickness)) ** 2
                if outer < 1.0 and inner >= 1.0:
                    self.set(x, y, colour)

    def disc(self, cx, cy, r, colour):
        self.ellipse(cx, cy, r + 0.5, r + 0.5, colour)

    def thick_line(self, x1, y1, x2, y2, width, colour):
        steps = int(max(abs(x2 - x1), abs(y2 - y1)) * 2) + 1
        for i in range(steps + 1):
            t = i / steps
            self.disc(x1 + (x2 - x1) * t, y1 + (y2 - y1) * t, width / 2, colour)

    def arc(self, cx, cy, r, start_deg, end_deg, width, colour):
        steps = int(abs(end_deg - start_deg) * 2) + 1
        for i in range(steps + 1):
            a = math.radians(start_deg + (end_deg - start_deg) * i / steps)
            self.disc(cx + r * math.cos(a), cy + r * math.sin(a), width / 2, colour)

    def rect(self, x1, y1, x2, y2, colour):
        for y in range(y1, y2 + 1):
            for x in range(x1, x2 + 1):
                self.set(x, y, colour)

    def save_bmp(self, path):
        stride = (self.width * 3 + 3) & ~3
        image = bytearray()
        for y in range(self.height - 1, -1, -1):  # bottom-up rows
            row = bytearray()
            for r, g, b in self.pixels[y]:
                row += bytes((b, g, r))
            row += bytes(stride - len(row))
            image += row
        header = struct.pack('<2sIHHI', b'BM', 54 + len(image), 0, 0, 54)
        info = struct.pack('<IiiHHIIiiII', 40, self.width, self.height, 1, 24, 0, len(image), 2835, 2835, 0, 0)
        with open(path, 'wb') as out:
            out.write(header + info + image)


# The launcher blinks the eyes at these points of the character picture.
RIGHT_EYE = (46, 60)
LEFT_EYE = (27, 57)


def character():
    c = Canvas(100, 110)
    # Stem and leaf on top.
    c.thick_line(44, 24, 47, 10, 4, BROWN)
    c.ellipse(60, 12, 13, 6, GREEN)
    c.thick_line(49, 12, 70, 12, 2, LIGHT_GREEN)
    # Feet.
    c.ellipse(30, 104, 9, 4, BROWN)
    c.ellipse(58, 104, 9, 4, BROWN)
    # The waving arm, behind the body.
    c.thick_line(76, 70, 92, 48, 5, BLACK)
    c.thick_line(76, 70, 92, 48, 3, YELLOW)
    c.disc(93, 46, 4, BLACK)
    c.disc(93, 46, 3, YELLOW)
    # The round fruit body with a dark rim and a light shine.
    c.ellipse(44, 64, 38, 40, BLACK)
    c.ellipse(44, 64, 36, 38, YELLOW)
    c.ring(44, 64, 36, 38, 5, LIGHT_GREEN)
    c.ellipse(24, 40, 6, 4, WHITE)
    # Eyes: white ovals with pupils at the blink points.
    for x, y in (RIGHT_EYE, LEFT_EYE):
        c.ellipse(x, y, 6, 7, BLACK)
        c.ellipse(x, y, 5, 6, WHITE)
        c.disc(x, y, 2, BLACK)
    # Cheeks and a smile.
    c.ellipse(16, 69, 5, 3, LIGHT_RED)
    c.ellipse(58, 72, 5, 3, LIGHT_RED)
    c.arc(37, 68, 10, 30, 150, 2, RED)
    return c


# Lettering, one string per pixel row; scaled five times.
GLYPHS = {
    'M': ["X.....X", "XX...XX", "X.X.X.X", "X..X..X", "X.....X",
          "X.....X", "X.....X", "X.....X", "X.....X", "X.....X"],
    'a': [".....", ".....", ".....", ".XXX.", "....X",
          ".XXXX", "X...X", "X...X", "X..XX", ".XX.X"],
    'r': ["....", "....", "....", "X.XX", "XX..",
          "X...", "X...", "X...", "X...", "X..."],
    'u': [".....", ".....", ".....", "X...X", "X...X",
          "X...X", "X...X", "X...X", "X..XX", ".XX.X"],
    'l': ["XX.", ".X.", ".X.", ".X.", ".X.",
          ".X.", ".X.", ".X.", ".X.", ".XX"],
}


def lettering():
    c = Canvas(172, 62)
    scale, left, top, shade = 5, 1, 4, 3
    for dx, dy, colour in ((shade, shade, BLUE), (0, 0, None)):
        x0 = left
        for letter in "Marula":
            rows = GLYPHS[letter]
            for gy, row in enumerate(rows):
                for gx, bit in enumerate(row):
                    if bit != 'X':
                        continue
                    # The letters shade from light red into red downwards.
                    fill = colour or (LIGHT_RED if gy < 6 else RED)
                    x, y = x0 + gx * scale + dx, top + gy * scale + dy
                    c.rect(x, y, x + scale - 1, y + scale - 1, fill)
            x0 += (len(rows[0]) + 1) * scale
    # A yellow band underlines the name.
    c.rect(4, 58, 167, 60, YELLOW)
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(here)
    character().save_bmp(os.path.join(out, "Marula１.bmp"))
    lettering().save_bmp(os.path.join(out, "Marula文字.bmp"))


if __name__ == "__main__":
    main()
