#!/usr/bin/env python3
"""Draws the application icon and writes it as a Windows .ico file.

The icon holds 48, 32, 24 and 16 pixel images, each once with a 256-colour palette and once in
true colour (32 bits with alpha; the 32 pixel one in 24 bits). Standard library only, so the
art can be made again anywhere: python3 res/make_icon.py res/Tomewright.ico
"""

import struct
import sys

SIZES = (48, 32, 24, 16)
SUPERSAMPLE = 4

BACKGROUND_TOP = (38, 92, 158)
BACKGROUND_BOTTOM = (22, 52, 104)
PAGE = (250, 248, 240)
PAGE_SHADE = (214, 206, 188)
SPINE = (200, 64, 40)
INK = (60, 60, 72)


def inside_rounded_square(x, y, radius):
    """Unit square with rounded corners; x and y run from 0 to 1."""
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def sample(x, y):
    """Colour and opacity of the art at a point of the unit square, or None outside it."""
    if not inside_rounded_square(x, y, 0.18):
        return None
    colour = tuple(round(t + (b - t) * y) for t, b in zip(BACKGROUND_TOP, BACKGROUND_BOTTOM))
    # An open book: two pages meeting at a red spine, each page leaning up towards the outside.
    left, right, top, bottom, spine = 0.14, 0.86, 0.24, 0.80, 0.5
    lift = 0.06 * abs(x - spine) / (spine - left)
    if left <= x <= right and top - lift <= y <= bottom - lift:
        if abs(x - spine) < 0.035:
            return SPINE
        page_y = (y - (top - lift)) / (bottom - top)
        # Lines of text, stopping short of the spine and the outer edge.
        if 0.14 < page_y < 0.86 and 0.06 < abs(x - spine) < 0.29:
            if (page_y * 6) % 1 < 0.38:
                return INK
        return PAGE_SHADE if abs(x - spine) < 0.08 else PAGE
    return colour


def render(size):
    """Rows of (r, g, b, a) from top to bottom, averaged over SUPERSAMPLE x SUPERSAMPLE points."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    c = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c is not None:
                        hits += 1
                        for k in range(3):
                            total[k] += c[k]
            if hits:
                row.append(tuple(round(t / hits) for t in total) + (round(255 * hits / n / n),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def palette_256():
    """A 6x6x6 colour cube followed by a grey ramp: 216 + 40 entries."""
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    greys = [(round(i * 255 / 39),) * 3 for i in range(40)]
    return cube + greys


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], colour)))


def and_mask(rows, size):
    """1 bit per pixel, set where the pixel is transparent; rows padded to 32 bits."""
    stride = (size + 31) // 32 * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def bitmap_header(size, bpp, colours):
    # Height counts the colour image and the mask together, as icons require.
    return struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, 0, 0, 0, colours, 0)


def true_colour_image(rows, size, bpp):
    pixels = bytearray()
    stride = (size * bpp // 8 + 3) // 4 * 4
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, a in row:
            line += bytes((b, g, r, a)) if bpp == 32 else bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    return bitmap_header(size, bpp, 0) + bytes(pixels) + and_mask(rows, size)


def palette_image(rows, size):
    palette = palette_256()
    cache = {}
    pixels = bytearray()
    stride = (size + 3) // 4 * 4
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, a in row:
            key = (r, g, b) if a >= 128 else (0, 0, 0)
            if key not in cache:
                cache[key] = nearest(palette, key)
            line.append(cache[key])
        pixels += line + bytes(stride - len(line))
    table = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    return bitmap_header(size, 8, 256) + table + bytes(pixels) + and_mask(rows, size)


def build_icon():
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, 256, 8, palette_image(rows, size)))
        bpp = 24 if size == 32 else 32
        images.append((size, 0, bpp, true_colour_image(rows, size, bpp)))
    header = struct.pack('<HHH', 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    directory = b''
    data = b''
    for size, colours, bpp, image in images:
        directory += struct.pack('<BBBBHHII', size, size, colours % 256, 0, 1, bpp,
                                 len(image), offset + len(data))
        data += image
    return header + directory + data


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else 'Tomewright.ico'
    with open(target, 'wb') as out:
        out.write(build_icon())


if __name__ == '__main__':
    main()
