#!/usr/bin/env python3
"""Draws Ostrel's application icon and writes it as a Windows .ico file.

    python3 scripts/make_icon.py res/ostrel.ico

The build takes the committed res/ostrel.ico as it is; run this only to redraw it, then commit it.

The icon holds six images: 48, 32 and 16 pixels square at 8 bits per pixel (256-colour palette,
transparency by the AND mask) and the same sizes at 32 bits per pixel (straight alpha). The ICO
format is written directly, with plain BMP DIBs, so that the bit depths are exactly these; the
script needs nothing beyond the Python standard library and gives the same bytes on every run.

The artwork: a test probe with a red collar, its tip touching a gold pad on a teal circuit board.
"""

import math
import struct
import sys

SIZES = (48, 32, 16)
SUPERSAMPLING = 8  # samples per pixel along each axis, for anti-aliased edges

BOARD = (30, 95, 90)
BOARD_SHADOW = (20, 66, 63)
TRACE = (44, 128, 120)
PAD = (224, 165, 38)
PAD_HOLE = (24, 74, 70)
OUTLINE = (31, 42, 48)
STEEL_DARK = (126, 139, 148)
STEEL_LIGHT = (244, 247, 250)
COLLAR = (200, 55, 45)

# The probe runs from its tip (on the pad) up and to the right, off the board's corner.
PROBE_TIP = (0.34, 0.66)
PROBE_END = (0.97, 0.03)
PROBE_HALF_WIDTH = 0.085
PROBE_TIP_LENGTH = 0.17
PROBE_OUTLINE = 0.035
COLLAR_SPAN = (0.50, 0.62)  # along the probe, as fractions of its length
SHADOW_OFFSET = (0.035, 0.045)


def _sub(a, b):
    return (a[0] - b[0], a[1] - b[1])


def _dot(a, b):
    return a[0] * b[0] + a[1] * b[1]


def _probe_frame():
    axis = _sub(PROBE_END, PROBE_TIP)
    length = math.hypot(*axis)
    along = (axis[0] / length, axis[1] / length)
    across = (-along[1], along[0])
    return length, along, across


PROBE_LENGTH, PROBE_ALONG, PROBE_ACROSS = _probe_frame()


def _probe_polygon():
    """The probe's outline: a pointed tip widening into a straight barrel."""
    def at(u, v):
        return (
            PROBE_TIP[0] + u * PROBE_ALONG[0] + v * PROBE_ACROSS[0],
            PROBE_TIP[1] + u * PROBE_ALONG[1] + v * PROBE_ACROSS[1],
        )

    w = PROBE_HALF_WIDTH
    return [
        at(0.0, 0.0),
        at(PROBE_TIP_LENGTH, w),
        at(PROBE_LENGTH, w),
        at(PROBE_LENGTH, -w),
        at(PROBE_TIP_LENGTH, -w),
    ]


PROBE_POLYGON = _probe_polygon()


def polygon_distance(p, polygon):
    """Signed distance from p to a simple polygon: negative inside."""
    best = float("inf")
    inside = False
    count = len(polygon)
    for i in range(count):
        a = polygon[i]
        b = polygon[i - 1]
        edge = _sub(b, a)
        offset = _sub(p, a)
        t = max(0.0, min(1.0, _dot(offset, edge) / _dot(edge, edge)))
        dx = offset[0] - edge[0] * t
        dy = offset[1] - edge[1] * t
        best = min(best, dx * dx + dy * dy)
        crosses = (a[1] > p[1]) != (b[1] > p[1])
        if crosses and p[0] < (b[0] - a[0]) * (p[1] - a[1]) / (b[1] - a[1]) + a[0]:
            inside = not inside
    distance = math.sqrt(best)
    return -distance if inside else distance


def rounded_square_contains(p, low, high, radius):
    cx = min(max(p[0], low + radius), high - radius)
    cy = min(max(p[1], low + radius), high - radius)
    return (p[0] - cx) ** 2 + (p[1] - cy) ** 2 <= radius * radius


def circle_contains(p, centre, radius):
    return (p[0] - centre[0]) ** 2 + (p[1] - centre[1]) ** 2 <= radius * radius


def _mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def probe_colour(p):
    """The probe's colour at p (inside it): a shaded steel cylinder with a red collar."""
    offset = _sub(p, PROBE_TIP)
    u = _dot(offset, PROBE_ALONG) / PROBE_LENGTH
    if COLLAR_SPAN[0] <= u <= COLLAR_SPAN[1]:
        return COLLAR
    v = _dot(offset, PROBE_ACROSS) / PROBE_HALF_WIDTH  # -1 .. 1 across the barrel
    # Light falls from the upper left: brightest a little off the axis, darker at the edges.
    shade = max(0.0, 1.0 - abs(v + 0.35) * 0.9)
    return _mix(STEEL_DARK, STEEL_LIGHT, shade)


def sample(p):
    """The colour of the artwork at one point of the unit square, or None where it is empty."""
    probe_distance = polygon_distance(p, PROBE_POLYGON)
    if probe_distance <= 0.0:
        return probe_colour(p)
    if probe_distance <= PROBE_OUTLINE:
        return OUTLINE
    if not rounded_square_contains(p, 0.04, 0.96, 0.16):
        return None
    pad_centre = PROBE_TIP
    if circle_contains(p, pad_centre, 0.05):
        return PAD_HOLE
    if circle_contains(p, pad_centre, 0.15):
        return PAD
    shadow_point = _sub(p, SHADOW_OFFSET)
    if polygon_distance(shadow_point, PROBE_POLYGON) <= PROBE_OUTLINE:
        return BOARD_SHADOW
    if abs(p[1] - pad_centre[1]) <= 0.045 and p[0] >= pad_centre[0]:
        return TRACE
    if abs(p[0] - pad_centre[0]) <= 0.045 and p[1] >= pad_centre[1]:
        return TRACE
    return BOARD


def render(size):
    """Rows of (r, g, b, a) pixels, top row first, with straight (not premultiplied) alpha."""
    rows = []
    n = SUPERSAMPLING
    for y in range(size):
        row = []
        for x in range(size):
            total = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(n):
                for sx in range(n):
                    colour = sample(((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size))
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            total[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                rgb = tuple(int(round(c / covered)) for c in total)
                row.append(rgb + (int(round(255 * covered / (n * n))),))
        rows.append(row)
    return rows


def median_cut(colours, count):
    """A palette of at most `count` colours for the (r, g, b) -> frequency map `colours`."""
    boxes = [list(colours.items())]
    while len(boxes) < count:
        splittable = [b for b in boxes if len(b) > 1]
        if not splittable:
            break

        def spread(box):
            return max(max(c[0][i] for c in box) - min(c[0][i] for c in box) for i in range(3))

        box = max(splittable, key=lambda b: (spread(b) * sum(f for _, f in b), len(b)))
        boxes.remove(box)
        channel = max(range(3), key=lambda i: max(c[0][i] for c in box) - min(c[0][i] for c in box))
        box.sort(key=lambda c: (c[0][channel], c[0]))
        half = sum(f for _, f in box) / 2
        running = 0
        cut = 1
        for index, (_, frequency) in enumerate(box[:-1]):
            running += frequency
            cut = index + 1
            if running >= half:
                break
        boxes.append(box[:cut])
        boxes.append(box[cut:])
    palette = []
    for box in boxes:
        weight = sum(f for _, f in box)
        palette.append(tuple(int(round(sum(c[i] * f for c, f in box) / weight)) for i in range(3)))
    return sorted(set(palette))


def nearest(palette, rgb):
    return min(
        range(len(palette)),
        key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)),
    )


def and_mask(rows):
    """The 1-bit AND mask, bottom row first: bit set where the pixel is (mostly) transparent."""
    size = len(rows)
    stride = ((size + 31) // 32) * 4
    data = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, pixel in enumerate(row):
            if pixel[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        data += line
    return bytes(data)


def bitmap_header(size, bit_count, image_bytes, colours_used):
    # The height counts the colour bitmap and the AND mask, as icon DIBs do.
    return struct.pack(
        "<IiiHHIIiiII", 40, size, size * 2, 1, bit_count, 0, image_bytes, 0, 0, colours_used, 0
    )


def dib_8bpp(rows, palette):
    size = len(rows)
    stride = ((size * 8 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (r, g, b, a) in enumerate(row):
            # Transparent pixels carry colour 0 (black), so that XOR with the screen leaves it.
            line[x] = palette.index((r, g, b)) if a >= 128 else 0
        pixels += line
    mask = and_mask(rows)
    colour_table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    colour_table += bytes(4 * (256 - len(palette)))
    header = bitmap_header(size, 8, len(pixels) + len(mask), 256)
    return header + colour_table + bytes(pixels) + mask


def dib_32bpp(rows):
    size = len(rows)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += struct.pack("<BBBB", b, g, r, a)
    mask = and_mask(rows)
    header = bitmap_header(size, 32, len(pixels) + len(mask), 0)
    return header + bytes(pixels) + mask


def eight_bit_palette(renderings):
    """Black first (the colour of transparent pixels), then up to 255 colours of the artwork."""
    frequencies = {}
    for rows in renderings:
        for row in rows:
            for r, g, b, a in row:
                if a >= 128:
                    frequencies[(r, g, b)] = frequencies.get((r, g, b), 0) + 1
    palette = [(0, 0, 0)] + [c for c in median_cut(frequencies, 255) if c != (0, 0, 0)]
    return palette[:256]


def quantise(rows, palette):
    cache = {}
    out = []
    for row in rows:
        line = []
        for r, g, b, a in row:
            if a < 128:
                line.append((0, 0, 0, 0))
                continue
            if (r, g, b) not in cache:
                cache[(r, g, b)] = palette[nearest(palette, (r, g, b))]
            line.append(cache[(r, g, b)] + (255,))
        out.append(line)
    return out


def build_icon():
    renderings = {size: render(size) for size in SIZES}
    palette = eight_bit_palette(renderings.values())
    images = []
    for size in SIZES:
        images.append((size, 8, dib_8bpp(quantise(renderings[size], palette), palette)))
    for size in SIZES:
        images.append((size, 32, dib_32bpp(renderings[size])))

    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, bit_count, dib in images:
        # Width and height 0 would mean 256; a colour count of 0 means 256 colours or more.
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bit_count, len(dib), offset)
        offset += len(dib)
    return directory + entries + b"".join(dib for _, _, dib in images)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico\n")
        return 2
    with open(argv[1], "wb") as output:
        output.write(build_icon())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
