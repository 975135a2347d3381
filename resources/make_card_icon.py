#!/usr/bin/env python3
"""Writes card.ico, the programs' icon: an expansion card seen from above, its metal
bracket along the top carrying a DB25 and a DB9 port, chips on the green board and the
gold edge fingers below. Four images: 16x16 and 32x32, each as 32-bit BGRA with an AND
mask and as 8-bit palette images for systems without alpha icons.

    python3 make_card_icon.py [OUTPUT]     (default: card.ico beside this script)

Standard library only; the pixels are drawn shape by shape for each size, so the small
image stays sharp instead of being scaled down.
"""
import os
import struct
import sys

# Colours as (R, G, B); None is transparent.
CLEAR = None
BRACKET = (0xC8, 0xC8, 0xCC)
BRACKET_EDGE = (0x6E, 0x6E, 0x74)
SHELL = (0x9A, 0x9A, 0xA0)
INSERT = (0x24, 0x24, 0x2A)
PIN = (0xF0, 0xC8, 0x40)
BOARD = (0x1F, 0x80, 0x3C)
BOARD_EDGE = (0x0E, 0x4A, 0x20)
TRACE = (0x4C, 0xB0, 0x60)
CHIP = (0x18, 0x18, 0x1C)
CHIP_LEG = (0xB8, 0xB8, 0xB8)
GOLD = (0xE0, 0xB0, 0x30)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[CLEAR] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, fill, edge=None):
        """Fills x0..x1, y0..y1 (inclusive), with a one-pixel edge if given."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                on_edge = x in (x0, x1) or y in (y0, y1)
                self.put(x, y, edge if (edge and on_edge) else fill)

    def d_sub(self, top_x0, top_x1, y0, y1, pin_rows):
        """A D-subminiature port: a trapezoid shell narrowing downwards, a dark insert,
        and pins given as rows of x positions."""
        height = y1 - y0
        for y in range(y0, y1 + 1):
            inset = (y - y0) * 1 // max(height, 1) if height < 3 else (y - y0) // 2
            x0, x1 = top_x0 + inset, top_x1 - inset
            for x in range(x0, x1 + 1):
                outer = y in (y0, y1) or x in (x0, x1)
                self.put(x, y, SHELL if outer else INSERT)
        for y, xs in pin_rows:
            for x in xs:
                self.put(x, y, PIN)


def draw_32():
    c = Canvas(32)
    # Bracket with its two ports.
    c.rect(0, 2, 31, 11, BRACKET, BRACKET_EDGE)
    c.d_sub(2, 17, 4, 9, [(6, range(4, 16, 2)), (8, range(5, 15, 2))])
    c.d_sub(20, 29, 4, 9, [(6, range(22, 28, 2)), (8, range(23, 27, 2))])
    # Board, traces, chips.
    c.rect(2, 12, 29, 25, BOARD, BOARD_EDGE)
    for x in range(5, 27, 3):
        c.put(x, 13, TRACE)
        c.put(x, 24, TRACE)
    c.rect(6, 15, 14, 21, CHIP)
    for y in range(16, 21, 2):
        c.put(5, y, CHIP_LEG)
        c.put(15, y, CHIP_LEG)
    c.rect(18, 16, 25, 20, CHIP)
    for x in range(19, 25, 2):
        c.put(x, 15, CHIP_LEG)
        c.put(x, 21, CHIP_LEG)
    # Edge fingers, with the key notch.
    for x in range(5, 27, 2):
        if x not in (15,):
            c.rect(x, 26, x, 29, GOLD)
    return c


def draw_16():
    c = Canvas(16)
    c.rect(0, 1, 15, 6, BRACKET, BRACKET_EDGE)
    c.d_sub(1, 8, 2, 5, [(3, (3, 5, 7)), (4, (4, 6))])
    c.d_sub(10, 14, 2, 5, [(3, (11, 13)), (4, (12,))])
    c.rect(1, 7, 14, 12, BOARD, BOARD_EDGE)
    c.rect(4, 8, 8, 11, CHIP)
    c.rect(10, 9, 12, 10, CHIP)
    for x in range(3, 13, 2):
        if x != 7:
            c.rect(x, 13, x, 14, GOLD)
    return c


def and_mask(canvas):
    """1 bit a pixel, 1 = transparent, rows bottom-up, each padded to 4 bytes."""
    stride = ((canvas.size + 31) // 32) * 4
    out = bytearray()
    for y in reversed(range(canvas.size)):
        row = bytearray(stride)
        for x in range(canvas.size):
            if canvas.pixels[y][x] is None:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def bitmap_header(size, bits, palette_entries, image_bytes):
    # BITMAPINFOHEADER; the height counts the colour image and the mask.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, image_bytes, 0, 0,
                       palette_entries, 0)


def image_32(canvas):
    pixels = bytearray()
    for y in reversed(range(canvas.size)):
        for x in range(canvas.size):
            colour = canvas.pixels[y][x]
            if colour is None:
                pixels += b"\0\0\0\0"
            else:
                r, g, b = colour
                pixels += bytes((b, g, r, 0xFF))
    mask = and_mask(canvas)
    return bitmap_header(canvas.size, 32, 0, len(pixels) + len(mask)) + bytes(pixels) + mask


def image_8(canvas, palette):
    index = {colour: i for i, colour in enumerate(palette)}
    stride = (canvas.size + 3) // 4 * 4
    pixels = bytearray()
    for y in reversed(range(canvas.size)):
        row = bytearray(stride)
        for x in range(canvas.size):
            colour = canvas.pixels[y][x]
            row[x] = 0 if colour is None else index[colour]
        pixels += row
    table = bytearray()
    for i in range(256):
        r, g, b = palette[i] if i < len(palette) else (0, 0, 0)
        table += bytes((b, g, r, 0))
    mask = and_mask(canvas)
    return (bitmap_header(canvas.size, 8, 256, len(pixels) + len(mask)) + bytes(table) +
            bytes(pixels) + mask)


def build_icon():
    canvases = [draw_16(), draw_32()]
    # Index 0 (black) stands under transparent pixels, as the AND mask requires.
    palette = [(0, 0, 0)]
    for canvas in canvases:
        for row in canvas.pixels:
            for colour in row:
                if colour is not None and colour not in palette:
                    palette.append(colour)
    images = []
    for canvas in canvases:
        images.append((canvas.size, 8, image_8(canvas, palette)))
    for canvas in canvases:
        images.append((canvas.size, 32, image_32(canvas)))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = bytearray()
    data = bytearray()
    for size, bits, blob in images:
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bits, len(blob), offset + len(data))
        data += blob
    return header + bytes(entries) + bytes(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "card.ico")
    with open(output, "wb") as f:
        f.write(build_icon())


if __name__ == "__main__":
    main()
