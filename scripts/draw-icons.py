#!/usr/bin/env python3
"""Draws the programs' icon (a broker hub: one node linked to three clients)
from the one picture below:

- at 16 and 32 pixels into common/icons/, as 16-colour XPM images with a
  transparent background. Both programs carry these same two images as
  MAINICON and ICON_VKR;
- for the desktop's icon theme into dist/icons/: a scalable SVG and
  anti-aliased PNG images at every size the hicolor theme is asked for.

Run it again only when the picture changes; the images are committed so
that the build needs nothing but Qt. --check redraws everything in memory
and fails when a committed image is not what the picture gives (a test runs
it).

XPM rather than PNG for the programs: it is plain text, and the programs
decode it directly, without starting Qt's image-format plug-in machinery at
start-up.

Usage: python3 scripts/draw-icons.py [--check]
"""
import os
import struct
import sys
import zlib

# The sixteen colours of the classic display palette; index 16 is transparent.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
    (0, 0, 0),
]
BLACK, NAVY, TEAL, SILVER, GREY, RED, YELLOW, BLUE, WHITE = 0, 4, 6, 7, 8, 9, 11, 12, 15
CLEAR = 16

# Shapes in a unit square, painted in order (later ones on top).
HUB = (0.5, 0.56)
CLIENTS = [((0.5, 0.15), RED), ((0.15, 0.85), YELLOW), ((0.85, 0.85), TEAL)]


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def segment(ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half_width * half_width

    return inside


def picture(size=None):
    """The picture as ("line", ax, ay, bx, by, half_width, colour) and
    ("disc", cx, cy, r, colour) in a unit square, painted in order. Strokes
    must stay at least one pixel wide at small sizes; None is the scalable
    picture."""
    line = max(0.75 / size, 0.045) if size else 0.045
    rim = max(1.0 / size, 0.04) if size else 0.04
    out = []
    for (cx, cy), _ in CLIENTS:
        out.append(("line", HUB[0], HUB[1], cx, cy, line, BLACK))
    for (cx, cy), colour in CLIENTS:
        out.append(("disc", cx, cy, 0.15, BLACK))
        out.append(("disc", cx, cy, 0.15 - rim, colour))
    out.append(("disc", HUB[0], HUB[1], 0.22, NAVY))
    out.append(("disc", HUB[0], HUB[1], 0.22 - rim, BLUE))
    out.append(("disc", HUB[0] - 0.06, HUB[1] - 0.06, 0.06, WHITE))  # highlight
    return out


def shapes(size):
    out = []
    for s in picture(size):
        if s[0] == "line":
            out.append((segment(*s[1:6]), s[6]))
        else:
            out.append((disc(*s[1:4]), s[4]))
    return out


def render(size):
    grid = 4  # samples per pixel side; a pixel takes the colour most samples show
    painted = shapes(size)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            votes = {}
            for sy in range(grid):
                for sx in range(grid):
                    x = (px + (sx + 0.5) / grid) / size
                    y = (py + (sy + 0.5) / grid) / size
                    colour = CLEAR
                    for inside, c in painted:
                        if inside(x, y):
                            colour = c
                    votes[colour] = votes.get(colour, 0) + 1
            row.append(max(votes.items(), key=lambda kv: (kv[1], kv[0] != CLEAR))[0])
        rows.append(row)
    return rows


# One character per palette index; none of them needs quoting in C.
SYMBOLS = "0123456789abcdef "


def xpm(rows, name):
    height, width = len(rows), len(rows[0])
    lines = ["/* XPM */", "static const char* const %s[] = {" % name,
             '"%d %d %d 1",' % (width, height, len(PALETTE))]
    for index, (r, g, b) in enumerate(PALETTE):
        colour = "None" if index == CLEAR else "#%02x%02x%02x" % (r, g, b)
        lines.append('"%s c %s",' % (SYMBOLS[index], colour))
    for n, row in enumerate(rows):
        lines.append('"%s"%s' % ("".join(SYMBOLS[i] for i in row), "," if n + 1 < height else ""))
    lines.append("};")
    return "\n".join(lines) + "\n"


# The icon theme's sizes, and the name the desktop entries and metainfo use.
THEME_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
THEME_ICON = "wdx-tools"


def render_rgba(size):
    """Anti-aliased: each pixel is the mean of its samples, transparent ones
    included, so edges fade into the background."""
    grid = max(2, 64 // size)
    painted = shapes(size)
    n = grid * grid
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0
            for sy in range(grid):
                for sx in range(grid):
                    x = (px + (sx + 0.5) / grid) / size
                    y = (py + (sy + 0.5) / grid) / size
                    colour = CLEAR
                    for inside, c in painted:
                        if inside(x, y):
                            colour = c
                    if colour != CLEAR:
                        cr, cg, cb = PALETTE[colour]
                        r, g, b, a = r + cr, g + cg, b + cb, a + 1
            if a:
                row += bytes((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png(rows):
    height, width = len(rows), len(rows[0]) // 4

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + row for row in rows)  # filter type 0 on every row
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def png_pixels(data):
    """The RGBA rows of a PNG this script wrote (one IDAT, filter 0), or None."""
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        return None
    pos, idat, width = 8, b"", 0
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width = struct.unpack(">I", body[:4])[0]
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    try:
        raw = zlib.decompress(idat)
    except zlib.error:
        return None
    stride = 1 + 4 * width
    return [raw[i + 1:i + stride] for i in range(0, len(raw), stride)]


def svg():
    def hexcolour(c):
        return "#%02x%02x%02x" % PALETTE[c]

    scale = 256
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">' %
             (scale, scale, scale, scale)]
    for s in picture():
        if s[0] == "line":
            _, ax, ay, bx, by, hw, c = s
            lines.append('  <line x1="%g" y1="%g" x2="%g" y2="%g" stroke="%s" stroke-width="%g" '
                         'stroke-linecap="round"/>' % (ax * scale, ay * scale, bx * scale, by * scale,
                                                      hexcolour(c), round(2 * hw * scale, 3)))
        else:
            _, cx, cy, r, c = s
            lines.append('  <circle cx="%g" cy="%g" r="%g" fill="%s"/>' %
                         (round(cx * scale, 3), round(cy * scale, 3), round(r * scale, 3), hexcolour(c)))
    lines.append("</svg>")
    return "\n".join(lines) + "\n"


def outputs(root):
    """Every image the picture gives: (path, bytes, compare), where compare
    tells a committed file from a fresh one."""
    out = []
    for size in (16, 32):
        name = "ICON_VKR_%d" % size
        out.append((os.path.join(root, "common", "icons", name + ".xpm"), xpm(render(size), name).encode(), None))
    theme = os.path.join(root, "dist", "icons", "hicolor")
    out.append((os.path.join(theme, "scalable", "apps", THEME_ICON + ".svg"), svg().encode(), None))
    for size in THEME_SIZES:
        path = os.path.join(theme, "%dx%d" % (size, size), "apps", THEME_ICON + ".png")
        rows = render_rgba(size)
        out.append((path, png(rows), lambda data, rows=rows: png_pixels(data) == rows))
    return out


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    check = sys.argv[1:] == ["--check"]
    if sys.argv[1:] and not check:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    stale = []
    for path, data, compare in outputs(root):
        if check:
            try:
                with open(path, "rb") as f:
                    old = f.read()
            except OSError:
                old = None
            if old is None or not (compare(old) if compare else old == data):
                stale.append(path)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        print(os.path.relpath(path, root))
    for path in stale:
        print("not drawn from the picture: " + os.path.relpath(path, root), file=sys.stderr)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
