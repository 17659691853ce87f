#!/usr/bin/env python3
"""Draws Flashgate's icons: a candy-bar handset with a download arrow pointing into it.

Each size has its own layout, snapped to whole pixels, so the small icons stay crisp; shapes are
rasterised on a supersampled grid and averaged down, which smooths only the rounded corners and the
arrow's slopes. Uses the standard library alone and writes the same bytes on every run.

    python3 resources/icons/make_icons.py                 # writes the icons next to this script
    python3 resources/icons/make_icons.py --preview DIR   # also writes enlarged copies on light and dark
"""

import argparse
import math
import os
import struct
import zlib

OUTLINE = (0x17, 0x22, 0x2E)
BODY = (0x4E, 0x6A, 0x86)
BODY_LIGHT = (0x6F, 0x8C, 0xA8)
SCREEN = (0x9E, 0xE8, 0xFF)
SCREEN_GLARE = (0xD8, 0xF6, 0xFF)
KEY = (0xE3, 0xEA, 0xF0)
ARROW = (0x3C, 0xCB, 0x4E)
ARROW_EDGE = (0x0E, 0x4A, 0x19)

PREVIEW_WIDTH = 256
PREVIEW_BACKGROUNDS = ((0xF4, 0xF4, 0xF4), (0x26, 0x26, 0x2A))


# Signed distance from a point to a shape, negative inside; all coordinates are in output pixels.


def rounded_rect(x0, y0, x1, y1, radius):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hw, hh = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def distance(x, y):
        dx, dy = abs(x - cx) - hw, abs(y - cy) - hh
        outside = math.hypot(max(dx, 0.0), max(dy, 0.0))
        return outside + min(max(dx, dy), 0.0) - radius

    return distance, (x0, y0, x1, y1)


def box(x0, y0, x1, y1):
    """A rectangle that grows with square corners, for art that has to stay on the pixel grid."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hw, hh = (x1 - x0) / 2, (y1 - y0) / 2
    return (lambda x, y: max(abs(x - cx) - hw, abs(y - cy) - hh)), (x0, y0, x1, y1)


def polygon(points):
    edges = list(zip(points, points[1:] + points[:1]))

    def distance(x, y):
        nearest = math.inf
        inside = False
        for (ax, ay), (bx, by) in edges:
            ex, ey = bx - ax, by - ay
            t = max(0.0, min(1.0, ((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey)))
            nearest = min(nearest, math.hypot(x - ax - t * ex, y - ay - t * ey))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / (by - ay):
                inside = not inside
        return -nearest if inside else nearest

    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return distance, (min(xs), min(ys), max(xs), max(ys))


def down_arrow(cx, top, shaft_width, head_width, head_top, tip):
    s, h = shaft_width / 2, head_width / 2
    return [polygon([(cx - s, top), (cx + s, top), (cx + s, head_top), (cx + h, head_top), (cx, tip),
                     (cx - h, head_top), (cx - s, head_top)])]


def stepped_down_arrow(cx, top, shaft_width, head_width, head_top):
    """A down arrow whose head narrows by a pixel on each side per row, with no blurred slopes."""
    rows = [box(cx - shaft_width / 2, top, cx + shaft_width / 2, head_top)]
    for step, width in enumerate(range(head_width, 0, -2)):
        rows.append(box(cx - width / 2, head_top + step, cx + width / 2, head_top + step + 1))
    return rows


class Canvas:
    """A supersampled grid of palette indices; index 0 is transparent."""

    def __init__(self, size, samples):
        self.size = size
        self.samples = samples
        self.width = size * samples
        self.palette = [None]
        self.grid = bytearray(self.width * self.width)

    def fill(self, shape, colour, grow=0.0):
        """Paints every sample within `grow` pixels of the shape, over what is already there."""
        distance, (x0, y0, x1, y1) = shape
        index = self._index(colour)
        n = self.samples
        first_col, last_col = self._span(x0 - grow, x1 + grow)
        first_row, last_row = self._span(y0 - grow, y1 + grow)
        for row in range(first_row, last_row):
            y = (row + 0.5) / n
            base = row * self.width
            for col in range(first_col, last_col):
                if distance((col + 0.5) / n, y) <= grow:
                    self.grid[base + col] = index

    def pixels(self):
        """Averages each pixel's samples into straight-alpha RGBA rows."""
        n, area = self.samples, self.samples * self.samples
        rows = []
        for py in range(self.size):
            row = bytearray()
            for px in range(self.size):
                r = g = b = covered = 0
                for sy in range(py * n, py * n + n):
                    base = sy * self.width + px * n
                    for index in self.grid[base:base + n]:
                        if index:
                            cr, cg, cb = self.palette[index]
                            r, g, b, covered = r + cr, g + cg, b + cb, covered + 1
                if covered:
                    row += bytes((round(r / covered), round(g / covered), round(b / covered),
                                  round(255 * covered / area)))
                else:
                    row += bytes(4)
            rows.append(bytes(row))
        return rows

    def _index(self, colour):
        if colour not in self.palette:
            self.palette.append(colour)
        return self.palette.index(colour)

    def _span(self, low, high):
        n = self.samples
        return max(0, math.floor(low * n)), min(self.width, math.ceil(high * n))


# Layouts, one per icon. Pixel edges are whole numbers at the small sizes so the outline, screen and keys
# land on the pixel grid. An arrow is given as centre x, top, shaft width, head width, where the head starts
# and, for a smooth one, where its tip is; a stepped head ends where it runs out of width.


def key_grid(columns, rows, size):
    return dict(keys=[(x, y) for y in rows for x in columns], key_size=size)


APP_16 = dict(body=(3, 5, 12, 16), corner=1.6, edge=1, screen=(5, 7, 10, 10),
              **key_grid((5, 7, 9), (11, 13), (1, 1)), stepped_arrow=(7.5, 0, 3, 7, 3), arrow_edge=1)

APP_32 = dict(body=(8, 7, 25, 31), corner=3, edge=1, rim=1, screen=(11, 10, 22, 19),
              **key_grid((11, 15, 19), (21, 24, 27), (3, 2)), stepped_arrow=(16.5, 1, 5, 11, 9), arrow_edge=1)

APP_48 = dict(body=(12, 10, 37, 47), corner=4.5, edge=2, rim=1, screen=(16, 14, 33, 28), glare=True,
              **key_grid((16, 22, 28), (30, 35, 40), (5, 3)), arrow=(24.5, 1.5, 7, 17, 12, 20.5), arrow_edge=1.5)

ABOUT_32 = dict(body=(7, 1, 26, 31), corner=3, edge=1, rim=1, screen=(10, 4, 23, 17), glare=True,
                **key_grid((10, 15, 20), (20, 23, 26), (3, 2)), screen_arrow=(16.5, 6, 3, 7, 10))


def scaled(layout, factor):
    """The same art at a size where the pixel grid no longer shows."""

    def scale(value):
        if isinstance(value, (tuple, list)):
            return type(value)(scale(v) for v in value)
        return value * factor if isinstance(value, (int, float)) and not isinstance(value, bool) else value

    return {name: scale(value) for name, value in layout.items()}


APP_256 = dict(scaled(APP_48, 256 / 48), key_corner=2.5)


def draw_handset(canvas, layout):
    draw_body(canvas, layout)
    draw_screen(canvas, layout)
    kw, kh = layout['key_size']
    for kx, ky in layout['keys']:
        canvas.fill(rounded_rect(kx, ky, kx + kw, ky + kh, layout.get('key_corner', 0)), KEY)
    if 'arrow' in layout:
        draw_outlined(canvas, down_arrow(*layout['arrow']), layout['arrow_edge'])
    if 'stepped_arrow' in layout:
        draw_outlined(canvas, stepped_down_arrow(*layout['stepped_arrow']), layout['arrow_edge'])


def draw_body(canvas, layout):
    x0, y0, x1, y1 = layout['body']
    edge, rim = layout['edge'], layout.get('rim', 0)
    inner_corner = max(layout['corner'] - edge, 0)
    canvas.fill(rounded_rect(x0, y0, x1, y1, layout['corner']), OUTLINE)
    # A lit top and left edge keeps the handset's outline visible on a dark background.
    canvas.fill(rounded_rect(x0 + edge, y0 + edge, x1 - edge, y1 - edge, inner_corner), BODY_LIGHT)
    canvas.fill(rounded_rect(x0 + edge + rim, y0 + edge + rim, x1 - edge, y1 - edge, inner_corner), BODY)


def draw_screen(canvas, layout):
    x0, y0, x1, y1 = layout['screen']
    canvas.fill(rounded_rect(x0, y0, x1, y1, 0), SCREEN)
    if layout.get('glare'):
        # A light band across the upper left makes the screen read as glass rather than a label.
        w, h = x1 - x0, y1 - y0
        canvas.fill(polygon([(x0, y0 + h * 0.55), (x0 + w * 0.45, y0), (x0 + w * 0.65, y0), (x0, y0 + h * 0.95)]),
                    SCREEN_GLARE)
    if 'screen_arrow' in layout:
        for shape in stepped_down_arrow(*layout['screen_arrow']):
            canvas.fill(shape, ARROW_EDGE)


def draw_outlined(canvas, arrow, edge):
    for shape in arrow:
        canvas.fill(shape, ARROW_EDGE, grow=edge)
    for shape in arrow:
        canvas.fill(shape, ARROW)


def render(size, layout):
    canvas = Canvas(size, 8 if size <= 48 else 4)
    draw_handset(canvas, layout)
    return canvas.pixels()


def png_bytes(rows):
    width, height = len(rows[0]) // 4, len(rows)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

    header = struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)
    raw = b''.join(b'\x00' + row for row in rows)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')


def preview_rows(rows):
    """The icon enlarged without smoothing, once on a light and once on a dark background."""
    scale = max(1, PREVIEW_WIDTH // len(rows))
    out = []
    for pixel_row in rows:
        row = bytearray()
        for background in PREVIEW_BACKGROUNDS:
            for i in range(0, len(pixel_row), 4):
                r, g, b, a = pixel_row[i:i + 4]
                blended = bytes(round((c * a + k * (255 - a)) / 255) for c, k in zip((r, g, b), background))
                row += (blended + b'\xff') * scale
        out.extend([bytes(row)] * scale)
    return out


ICONS = {
    'app-16.png': (16, APP_16),
    'app-32.png': (32, APP_32),
    'app-48.png': (48, APP_48),
    'app-256.png': (256, APP_256),
    'about-32.png': (32, ABOUT_32),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--preview', metavar='DIR', help='also write enlarged copies on light and dark here')
    args = parser.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    for name, (size, layout) in ICONS.items():
        rows = render(size, layout)
        with open(os.path.join(here, name), 'wb') as f:
            f.write(png_bytes(rows))
        if args.preview:
            os.makedirs(args.preview, exist_ok=True)
            with open(os.path.join(args.preview, name), 'wb') as f:
                f.write(png_bytes(preview_rows(rows)))


if __name__ == '__main__':
    main()
