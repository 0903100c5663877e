#!/usr/bin/env python3
"""Draws the console window's icon (console/window/console.ico): a dark terminal screen with a green prompt
and text lines, 32x32 and 16x16 pixels, 16 colours."""
import struct
import sys

# The standard 16-colour palette (B, G, R, 0).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, GREY, LIGHT, GREEN, WHITE, NAVY = 0, 8, 7, 10, 15, 4


def draw(size):
    pixels = [[None] * size for _ in range(size)]  # None: transparent
    s = size / 32.0
    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if 0 <= x < size and 0 <= y < size:
                    pixels[y][x] = colour
    rect(1, 3, 31, 29, LIGHT)      # frame
    rect(1, 3, 31, 7, NAVY)        # title bar
    rect(3, 9, 29, 27, BLACK)      # screen
    rect(5, 11, 7, 13, GREEN)      # prompt ">"
    rect(7, 13, 9, 15, GREEN)
    rect(5, 15, 7, 17, GREEN)
    rect(11, 14, 24, 16, WHITE)    # a line of text
    rect(5, 19, 20, 21, GREY)      # older lines
    rect(5, 23, 26, 25, GREY)
    return pixels


def image(size):
    pixels = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    row_bytes = ((size * 4 + 31) // 32) * 4
    xor = b''
    for y in reversed(range(size)):
        row = bytearray(row_bytes)
        for x in range(size):
            colour = pixels[y][x] or 0
            row[x // 2] |= colour << (4 if x % 2 == 0 else 0)
        xor += bytes(row)
    mask_bytes = ((size + 31) // 32) * 4
    mask = b''
    for y in reversed(range(size)):
        row = bytearray(mask_bytes)
        for x in range(size):
            if pixels[y][x] is None:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    return header + palette + xor + mask


def main(path):
    images = [(32, image(32)), (16, image(16))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'console/window/console.ico')
