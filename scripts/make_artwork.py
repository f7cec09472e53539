#!/usr/bin/env python3
"""Draws the launcher's Win32 artwork and writes it as Windows resources.

Usage: make_artwork.py OUTPUT_FOLDER

Writes, in the sizes and formats the resource script expects:
  button_<row>_<state>.bmp  title, selector and popup-row buttons: 8 bits per
                            pixel with a palette (rows 0 close, 1 minimize,
                            2 settings: 20 x 20; rows 3 selector and 4 popup
                            row: 100 x 20), states pressed, hover, normal
  main_<state>.bmp          the action button, 132 x 33, 32 bits per pixel,
                            premultiplied alpha; states pressed, hover,
                            disabled, normal
  launcher.ico              the program icon, 16 to 256 pixels
Everything is drawn here from shapes with the standard library only, in one
style: dark slate surfaces, a blue accent, light glyphs. Files are replaced
atomically, so parallel builds never read half a file.
"""

import math
import os
import struct
import sys
import zlib

ACCENT = (0x24, 0x8B, 0xCF)       # the progress bar's colour
ACCENT_DARK = (0x17, 0x5E, 0x8E)
SLATE = (0x1A, 0x20, 0x29)
SLATE_LIGHT = (0x26, 0x31, 0x3F)
BORDER = (0x3A, 0x46, 0x54)
GLYPH = (0xB8, 0xC2, 0xCE)
WHITE = (0xFF, 0xFF, 0xFF)
DANGER = (0xC8, 0x3A, 0x32)
BLACK = (0, 0, 0)

SUPERSAMPLE = 4


# ---------------------------------------------------------------------------
# Shapes as signed distances (negative inside), sampled with supersampling.

def rounded_rect(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def sdf(x, y):
        dx, dy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(dx, 0), max(dy, 0))
        return outside + min(max(dx, dy), 0) - r
    return sdf


def segment(ax, ay, bx, by, width):
    def sdf(x, y):
        px, py, vx, vy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - vx * t, py - vy * t) - width / 2
    return sdf


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def gear(cx, cy, outer, inner, hole, teeth):
    def sdf(x, y):
        angle = math.atan2(y - cy, x - cx)
        # Teeth: the radius alternates between outer and inner.
        wave = 0.5 + 0.5 * math.cos(angle * teeth)
        radius = inner + (outer - inner) * min(1.0, max(0.0, (wave - 0.25) * 2.2))
        return math.hypot(x - cx, y - cy) - radius
    return subtract(sdf, circle(cx, cy, hole))


class Canvas:
    """Straight (not premultiplied) RGBA floats, row 0 at the top."""

    def __init__(self, width, height, background=(0, 0, 0, 0.0)):
        self.width, self.height = width, height
        r, g, b, a = background
        self.pixels = [[(r / 255, g / 255, b / 255, a) for _ in range(width)] for _ in range(height)]

    def coverage(self, shape, x, y):
        # Far from the edge a pixel is wholly in or out (half its diagonal
        # is about 0.71).
        centre = shape(x + 0.5, y + 0.5)
        if centre > 0.75:
            return 0.0
        if centre < -0.75:
            return 1.0
        hits = 0
        for sy in range(SUPERSAMPLE):
            for sx in range(SUPERSAMPLE):
                if shape(x + (sx + 0.5) / SUPERSAMPLE, y + (sy + 0.5) / SUPERSAMPLE) <= 0:
                    hits += 1
        return hits / (SUPERSAMPLE * SUPERSAMPLE)

    def fill(self, shape, colour, alpha=1.0, gradient=None):
        """colour, or gradient (top colour, bottom colour, y0, y1) by row."""
        for y in range(self.height):
            if gradient:
                top, bottom, g0, g1 = gradient
                t = min(1.0, max(0.0, (y + 0.5 - g0) / max(1e-6, g1 - g0)))
                colour = tuple(top[i] + (bottom[i] - top[i]) * t for i in range(3))
            for x in range(self.width):
                c = self.coverage(shape, x, y) * alpha
                if c <= 0:
                    continue
                self.blend(x, y, colour, c)

    def blend(self, x, y, colour, a):
        r, g, b, da = self.pixels[y][x]
        sr, sg, sb = (v / 255 for v in colour)
        oa = a + da * (1 - a)
        if oa <= 0:
            self.pixels[y][x] = (0, 0, 0, 0)
            return

        def mix(s, d):
            return (s * a + d * da * (1 - a)) / oa
        self.pixels[y][x] = (mix(sr, r), mix(sg, g), mix(sb, b), oa)


# ---------------------------------------------------------------------------
# File formats.

def bmp_8bit(canvas):
    """Opaque image (alpha flattened on black) as an 8-bit palette BMP."""
    rgb = []
    for row in canvas.pixels:
        rgb.append([tuple(int(round(v * a * 255)) for v in (r, g, b)) for r, g, b, a in row])
    palette = median_cut([c for row in rgb for c in row], 256)
    index_of = {}

    def nearest(c):
        if c not in index_of:
            index_of[c] = min(range(len(palette)),
                              key=lambda i: sum((palette[i][k] - c[k]) ** 2 for k in range(3)))
        return index_of[c]

    stride = (canvas.width + 3) & ~3
    body = bytearray()
    for row in reversed(rgb):
        line = bytes(nearest(c) for c in row)
        body += line + bytes(stride - len(line))
    table = bytearray()
    for i in range(256):
        r, g, b = palette[i] if i < len(palette) else (0, 0, 0)
        table += bytes((b, g, r, 0))
    info = struct.pack('<IiiHHIIiiII', 40, canvas.width, canvas.height, 1, 8, 0, len(body),
                       2835, 2835, 256, 0)
    offset = 14 + len(info) + len(table)
    header = struct.pack('<2sIHHI', b'BM', offset + len(body), 0, 0, offset)
    return header + info + bytes(table) + bytes(body)


def median_cut(colours, count):
    unique = sorted(set(colours))
    if len(unique) <= count:
        return unique
    boxes = [unique]
    while len(boxes) < count:
        boxes.sort(key=lambda box: max(max(c[k] for c in box) - min(c[k] for c in box)
                                       for k in range(3)) if len(box) > 1 else -1)
        box = boxes.pop()
        if len(box) < 2:
            boxes.append(box)
            break
        channel = max(range(3), key=lambda k: max(c[k] for c in box) - min(c[k] for c in box))
        box.sort(key=lambda c: c[channel])
        half = len(box) // 2
        boxes += [box[:half], box[half:]]
    return [tuple(sum(c[k] for c in box) // len(box) for k in range(3)) for box in boxes]


def bgra_premultiplied(canvas, bottom_up=True):
    rows = reversed(canvas.pixels) if bottom_up else canvas.pixels
    out = bytearray()
    for row in rows:
        for r, g, b, a in row:
            out += bytes(int(round(v * a * 255)) for v in (b, g, r)) + bytes((int(round(a * 255)),))
    return bytes(out)


def bgra_straight(canvas):
    out = bytearray()
    for row in reversed(canvas.pixels):
        for r, g, b, a in row:
            out += bytes(int(round(v * 255)) for v in (b, g, r)) + bytes((int(round(a * 255)),))
    return bytes(out)


def bmp_32bit(canvas):
    """32 bits per pixel, premultiplied alpha, as AlphaBlend takes it."""
    body = bgra_premultiplied(canvas)
    info = struct.pack('<IiiHHIIiiII', 40, canvas.width, canvas.height, 1, 32, 0, len(body),
                       2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = struct.pack('<2sIHHI', b'BM', offset + len(body), 0, 0, offset)
    return header + info + body


def png(canvas):
    raw = bytearray()
    for row in canvas.pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes(int(round(v * 255)) for v in (r, g, b, a))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    ihdr = struct.pack('>IIBBBBB', canvas.width, canvas.height, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(bytes(raw), 9))
            + chunk(b'IEND', b''))


def icon_dib(canvas):
    """An icon image as a DIB: straight BGRA, then the (all-visible) AND mask."""
    size = canvas.width
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(canvas.pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 0.5:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return info + bgra_straight(canvas) + bytes(mask)


def ico(canvases):
    images = [png(c) if c.width >= 128 else icon_dib(c) for c in canvases]
    header = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    directory = bytearray()
    for canvas, data in zip(canvases, images):
        side = canvas.width if canvas.width < 256 else 0
        directory += struct.pack('<BBBBHHII', side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return header + bytes(directory) + b''.join(images)


# ---------------------------------------------------------------------------
# The artwork.

PRESSED, HOVER, NORMAL = 'pressed', 'hover', 'normal'


def title_button(glyph, state, danger=False):
    canvas = Canvas(20, 20, (0, 0, 0, 1.0))
    plate = rounded_rect(1, 1, 19, 19, 4)
    if state == NORMAL:
        canvas.fill(plate, SLATE)
        canvas.fill(subtract(plate, rounded_rect(2, 2, 18, 18, 3)), BORDER)
        ink = GLYPH
    else:
        fill = (DANGER if danger else ACCENT) if state == HOVER else (
            (0x96, 0x2A, 0x24) if danger else ACCENT_DARK)
        canvas.fill(plate, fill)
        ink = WHITE
    canvas.fill(glyph, ink)
    return canvas


def close_glyph():
    return union(segment(6.5, 6.5, 13.5, 13.5, 1.8), segment(13.5, 6.5, 6.5, 13.5, 1.8))


def minimize_glyph():
    return segment(6, 13.5, 14, 13.5, 2.0)


def settings_glyph():
    return gear(10, 10, 6.6, 4.6, 1.9, 8)


def selector(state):
    canvas = Canvas(100, 20, (0, 0, 0, 1.0))
    plate = rounded_rect(0.5, 0.5, 99.5, 19.5, 4)
    inner = rounded_rect(1.5, 1.5, 98.5, 18.5, 3)
    fill = {NORMAL: SLATE, HOVER: SLATE_LIGHT, PRESSED: ACCENT_DARK}[state]
    edge = ACCENT if state != NORMAL else BORDER
    canvas.fill(plate, edge)
    canvas.fill(inner, fill)
    chevron = union(segment(84, 8, 88, 12, 1.6), segment(88, 12, 92, 8, 1.6))
    canvas.fill(chevron, WHITE if state != NORMAL else GLYPH)
    return canvas


def popup_row(state):
    canvas = Canvas(100, 20, (0, 0, 0, 1.0))
    fill = {NORMAL: SLATE, HOVER: SLATE_LIGHT, PRESSED: ACCENT_DARK}[state]
    canvas.fill(lambda x, y: -1, fill)
    canvas.fill(lambda x, y: -1 if y >= 19 else 1, BORDER)
    if state != NORMAL:
        canvas.fill(lambda x, y: -1 if x < 2 else 1, ACCENT)
    return canvas


def main_button(state):
    canvas = Canvas(132, 33)
    body = rounded_rect(0.5, 0.5, 131.5, 32.5, 6)
    colours = {
        NORMAL: ((0x34, 0xA2, 0xE6), (0x1D, 0x6C, 0xA6)),
        HOVER: ((0x4F, 0xB6, 0xF2), (0x25, 0x80, 0xC0)),
        PRESSED: ((0x17, 0x58, 0x86), (0x1F, 0x6E, 0xA8)),
        'disabled': ((0x5C, 0x66, 0x72), (0x43, 0x4A, 0x54)),
    }[state]
    alpha = 0.85 if state == 'disabled' else 1.0
    canvas.fill(body, colours[0], alpha, gradient=(colours[0], colours[1], 1, 32))
    rim = subtract(body, rounded_rect(1.5, 1.5, 130.5, 31.5, 5))
    canvas.fill(rim, (0x0E, 0x2E, 0x46) if state != 'disabled' else (0x2C, 0x31, 0x38), alpha)
    if state in (NORMAL, HOVER):
        shine = lambda x, y: max(rounded_rect(2, 2, 130, 31, 5)(x, y), -1 if y < 3 else 1)
        canvas.fill(shine, WHITE, 0.35)
    return canvas


def icon(size):
    canvas = Canvas(size, size)
    k = size / 32
    plate = rounded_rect(1 * k, 1 * k, 31 * k, 31 * k, 7 * k)
    canvas.fill(plate, ACCENT, gradient=((0x3A, 0xAA, 0xEA), (0x16, 0x56, 0x86), 1 * k, 31 * k))
    width = max(1.6, 4.2 * k)
    mark = union(segment(9 * k, 9 * k, 16 * k, 24 * k, width), segment(16 * k, 24 * k, 23 * k, 9 * k, width))
    canvas.fill(mark, WHITE)
    return canvas


def artwork():
    """File name -> bytes."""
    files = {}
    glyphs = [('close', close_glyph(), True), ('minimize', minimize_glyph(), False),
              ('settings', settings_glyph(), False)]
    for row, (name, glyph, danger) in enumerate(glyphs):
        for state in (PRESSED, HOVER, NORMAL):
            files['button_%d_%s.bmp' % (row, state)] = bmp_8bit(title_button(glyph, state, danger))
    for state in (PRESSED, HOVER, NORMAL):
        files['button_3_%s.bmp' % state] = bmp_8bit(selector(state))
        files['button_4_%s.bmp' % state] = bmp_8bit(popup_row(state))
    for state in (PRESSED, HOVER, 'disabled', NORMAL):
        files['main_%s.bmp' % state] = bmp_32bit(main_button(state))
    files['launcher.ico'] = ico([icon(s) for s in (16, 24, 32, 48, 64, 128, 256)])
    return files


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, data in artwork().items():
        path = os.path.join(folder, name)
        temp = '%s.%d.tmp' % (path, os.getpid())
        with open(temp, 'wb') as out:
            out.write(data)
        os.replace(temp, path)


if __name__ == '__main__':
    main()
