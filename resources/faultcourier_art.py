#!/usr/bin/env python3
"""Draws FaultCourier's wizard artwork (Python standard library only).

Usage: faultcourier_art.py OUTPUT_FOLDER

Writes into OUTPUT_FOLDER:
  faultcourier_watermark.ppm  164 x 314 watermark of the first and last
                              wizard pages (the build turns it into the
                              JPEG resource with ImageMagick's convert)
  faultcourier_header.bmp     49 x 49 header bitmap of the inner pages
  faultcourier.ico            the program icon, 16 x 16 and 32 x 32
  faultcourier_progress.avi   the uncompressed 8-bit animation of the
                              submit page (the first palette entry is its
                              transparent background)

Everything is drawn from the same few shapes, supersampled for smooth edges,
so the output is the same on every run.
"""

import math
import os
import struct
import sys

NAVY = (16, 30, 62)
TEAL = (18, 112, 124)
GOLD = (238, 178, 64)
PALE = (226, 238, 244)
WHITE = (255, 255, 255)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def emblem_cover(x, y, cx, cy, r):
    """How much of the emblem (a ring around a four-pointed star) covers the
    point, and which part: returns (ring, star) coverages as 0 or 1."""
    dx, dy = x - cx, y - cy
    d = math.hypot(dx, dy)
    ring = 1 if 0.78 * r <= d <= r else 0
    # A four-pointed star: |x|^0.5 + |y|^0.5 <= r'^0.5 (an astroid).
    s = 0.70 * r
    star = 1 if abs(dx) ** 0.5 + abs(dy) ** 0.5 <= s ** 0.5 else 0
    return ring, star


def sample(width, height, shade, grid=3):
    """Averages shade(x, y) over grid x grid points per pixel; rows top
    first, pixels as (r, g, b)."""
    rows = []
    step = 1.0 / grid
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0]
            for sy in range(grid):
                for sx in range(grid):
                    c = shade(px + (sx + 0.5) * step, py + (sy + 0.5) * step)
                    acc[0] += c[0]
                    acc[1] += c[1]
                    acc[2] += c[2]
            n = grid * grid
            row.append(tuple(int(round(v / n)) for v in acc))
        rows.append(row)
    return rows


def watermark_shade(width, height):
    cx, cy, r = width / 2.0, height * 0.34, width * 0.33

    def shade(x, y):
        base = mix(NAVY, TEAL, (y / height) ** 1.4)
        # Soft diagonal light bands.
        band = math.sin((x + y * 0.55) / 17.0)
        if band > 0.92:
            base = mix(base, PALE, 0.10)
        # A glow behind the emblem.
        glow = max(0.0, 1.0 - math.hypot(x - cx, y - cy) / (r * 2.2))
        base = mix(base, TEAL, glow * 0.8)
        ring, star = emblem_cover(x, y, cx, cy, r)
        if ring:
            base = mix(base, PALE, 0.85)
        if star:
            base = mix(GOLD, WHITE, max(0.0, 1.0 - math.hypot(x - cx, y - cy) / r))
        # Three rising lines under the emblem: the report on its way.
        for i, top in enumerate((0.62, 0.70, 0.78)):
            ly = height * top
            length = width * (0.55 - 0.12 * i)
            if abs(y - ly) < 1.6 and abs(x - cx) < length / 2:
                base = mix(base, PALE, 0.55)
        return base

    return shade


def header_shade(size):
    cx = cy = size / 2.0
    r = size * 0.46

    def shade(x, y):
        d = math.hypot(x - cx, y - cy)
        if d > r:
            return WHITE
        base = mix(TEAL, NAVY, d / r)
        ring, star = emblem_cover(x, y, cx, cy, r * 0.92)
        if ring:
            base = PALE
        if star:
            base = mix(GOLD, WHITE, max(0.0, 1.0 - d / r))
        return base

    return shade


def write_ppm(path, rows):
    height, width = len(rows), len(rows[0])
    with open(path, 'wb') as f:
        f.write(b'P6\n%d %d\n255\n' % (width, height))
        for row in rows:
            f.write(bytes(v for pixel in row for v in pixel))


def dib_rows_24(rows):
    """Bottom-up BGR rows padded to four bytes."""
    out = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


def info_header(width, height, bits, image_size, colours=0):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, image_size, 2835, 2835,
                       colours, 0)


def write_bmp(path, rows):
    height, width = len(rows), len(rows[0])
    pixels = dib_rows_24(rows)
    header = info_header(width, height, 24, len(pixels))
    offset = 14 + len(header)
    with open(path, 'wb') as f:
        f.write(struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset))
        f.write(header + pixels)


def icon_image(size):
    """A 32-bit icon image: BGRA rows bottom-up and the AND mask."""
    cx = cy = size / 2.0
    r = size * 0.48
    grid = 4
    step = 1.0 / grid
    shade = header_shade(size)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            inside = 0
            for sy in range(grid):
                for sx in range(grid):
                    if math.hypot(px + (sx + 0.5) * step - cx, py + (sy + 0.5) * step - cy) <= r:
                        inside += 1
            alpha = int(round(255 * inside / (grid * grid)))
            colour = shade(px + 0.5, py + 0.5) if alpha else (0, 0, 0)
            if colour == WHITE:
                colour = TEAL
            row.append(colour + (alpha,))
        rows.append(row)
    xor = bytearray()
    for row in reversed(rows):
        for r_, g, b, a in row:
            xor += bytes((b, g, r_, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = info_header(size, size * 2, 32, len(xor) + len(mask))
    return header + bytes(xor) + bytes(mask)


def write_ico(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


# The animation: a page on the left sends dots to a globe on the right.
AVI_WIDTH, AVI_HEIGHT, AVI_FRAMES = 120, 48, 12
AVI_PALETTE = [
    (240, 240, 240),  # 0: background, drawn transparent
    PALE, NAVY, TEAL, GOLD, WHITE, (150, 170, 185),
]


def animation_frame(index):
    """Rows (top first) of palette indexes for one frame."""
    rows = [[0] * AVI_WIDTH for _ in range(AVI_HEIGHT)]

    def put(x, y, colour):
        if 0 <= x < AVI_WIDTH and 0 <= y < AVI_HEIGHT:
            rows[y][x] = colour

    # The page: a white sheet with a navy frame and text lines.
    for y in range(8, 42):
        for x in range(6, 32):
            edge = x in (6, 31) or y in (8, 41)
            put(x, y, 2 if edge else 5)
    for i, y in enumerate(range(14, 38, 5)):
        for x in range(10, 28 - (i % 2) * 5):
            put(x, y, 6)
    # The globe: a teal disc with pale meridian and equator.
    gx, gy, gr = 100, 24, 15
    for y in range(AVI_HEIGHT):
        for x in range(AVI_WIDTH):
            d = math.hypot(x - gx, y - gy)
            if d <= gr:
                meridian = math.hypot((x - gx) / 0.5, y - gy)
                on_line = abs(y - gy) < 1 or abs(x - gx) < 1 or abs(meridian - gr) < 1.2
                put(x, y, 1 if on_line else 3)
            elif d <= gr + 1.2:
                put(x, y, 2)
    # Five dots between them; the lit one moves one place every two frames.
    lit = (index // 2) % 6
    for i in range(5):
        cx = 42 + i * 9
        colour = 4 if i == lit else 6
        radius = 3.2 if i == lit else 2.2
        for y in range(AVI_HEIGHT):
            for x in range(36, 84):
                if math.hypot(x - cx, y - 24) <= radius:
                    put(x, y, colour)
    return rows


def chunk(fourcc, data):
    padded = data + (b'\0' if len(data) % 2 else b'')
    return fourcc + struct.pack('<I', len(data)) + padded


def riff_list(kind, fourcc, body):
    return kind + struct.pack('<I', len(body) + 4) + fourcc + body


def write_avi(path):
    stride = (AVI_WIDTH + 3) // 4 * 4
    frame_size = stride * AVI_HEIGHT
    frames = []
    for index in range(AVI_FRAMES):
        data = bytearray()
        for row in reversed(animation_frame(index)):
            data += bytes(row) + bytes(stride - AVI_WIDTH)
        frames.append(bytes(data))

    micro_per_frame = 100000
    avih = struct.pack('<14I', micro_per_frame, frame_size * 10, 0, 0x10, AVI_FRAMES, 0, 1,
                       frame_size, AVI_WIDTH, AVI_HEIGHT, 0, 0, 0, 0)
    strh = (b'vids' + b'DIB ' + struct.pack('<IHHIIIIIIII', 0, 0, 0, 0, 1, 10, 0, AVI_FRAMES,
                                             frame_size, 0xFFFFFFFF, 0)
            + struct.pack('<4h', 0, 0, AVI_WIDTH, AVI_HEIGHT))
    palette = b''.join(bytes((b, g, r, 0)) for r, g, b in AVI_PALETTE)
    palette += bytes(4 * (256 - len(AVI_PALETTE)))
    strf = info_header(AVI_WIDTH, AVI_HEIGHT, 8, frame_size, 256) + palette
    hdrl = riff_list(b'LIST', b'hdrl', chunk(b'avih', avih) +
                     riff_list(b'LIST', b'strl', chunk(b'strh', strh) + chunk(b'strf', strf)))

    movi_body = b''
    index = b''
    for data in frames:
        offset = 4 + len(movi_body)  # from the 'movi' type code
        movi_body += chunk(b'00db', data)
        index += b'00db' + struct.pack('<III', 0x10, offset, len(data))
    movi = riff_list(b'LIST', b'movi', movi_body)
    avi = riff_list(b'RIFF', b'AVI ', hdrl + movi + chunk(b'idx1', index))
    with open(path, 'wb') as f:
        f.write(avi)


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    folder = argv[1]
    os.makedirs(folder, exist_ok=True)
    write_ppm(os.path.join(folder, 'faultcourier_watermark.ppm'),
              sample(164, 314, watermark_shade(164, 314)))
    write_bmp(os.path.join(folder, 'faultcourier_header.bmp'), sample(49, 49, header_shade(49)))
    write_ico(os.path.join(folder, 'faultcourier.ico'), (16, 32))
    write_avi(os.path.join(folder, 'faultcourier_progress.avi'))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
