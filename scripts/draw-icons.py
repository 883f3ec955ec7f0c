#!/usr/bin/env python3
"""Draws the programs' icon (a broker hub: one node linked to three clients)
at 16 and 32 pixels into common/icons/, as 16-colour XPM images with a
transparent background. Both programs carry these same two images as
MAINICON and ICON_VKR. Run it again only when the picture changes; the
images are committed so that the build needs nothing but Qt.

XPM rather than PNG: it is plain text, and the programs decode it directly,
without starting Qt's image-format plug-in machinery at start-up.

Usage: python3 scripts/draw-icons.py
"""
import math
import os

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


def shapes(size):
    # Strokes must stay at least one pixel wide at 16 pixels.
    line = max(0.75 / size, 0.045)
    rim = max(1.0 / size, 0.04)
    out = []
    for (cx, cy), _ in CLIENTS:
        out.append((segment(HUB[0], HUB[1], cx, cy, line), BLACK))
    for (cx, cy), colour in CLIENTS:
        out.append((disc(cx, cy, 0.15), BLACK))
        out.append((disc(cx, cy, 0.15 - rim), colour))
    out.append((disc(HUB[0], HUB[1], 0.22), NAVY))
    out.append((disc(HUB[0], HUB[1], 0.22 - rim), BLUE))
    out.append((disc(HUB[0] - 0.06, HUB[1] - 0.06, 0.06), WHITE))  # highlight
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


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = os.path.join(here, "..", "common", "icons")
    os.makedirs(target, exist_ok=True)
    for size in (16, 32):
        name = "ICON_VKR_%d" % size
        path = os.path.join(target, name + ".xpm")
        with open(path, "w") as f:
            f.write(xpm(render(size), name))
        print(path)


if __name__ == "__main__":
    main()
