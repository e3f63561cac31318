#!/usr/bin/env python3
"""Where a colour shows in a screenshot: the boxes of its connected areas
inside a search box, top to bottom, left to right, one "x y w h" per line
(x, y: the area's centre, relative to the search box's origin shift given).

usage: find_color.py SHOT R,G,B X0 Y0 X1 Y1 [--min N] [--tolerance T]
X0..Y1 are screen pixels; areas smaller than N pixels (default 20) are left out.
"""
import argparse
import sys

from PIL import Image


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("shot")
    ap.add_argument("rgb")
    ap.add_argument("box", nargs=4, type=int)
    ap.add_argument("--min", type=int, default=20)
    ap.add_argument("--tolerance", type=int, default=0)
    a = ap.parse_args()
    want = tuple(int(v) for v in a.rgb.split(","))
    im = Image.open(a.shot).convert("RGB")
    x0, y0, x1, y1 = a.box
    x0, y0 = max(0, x0), max(0, y0)
    x1, y1 = min(im.width, x1), min(im.height, y1)
    px = im.load()
    t = a.tolerance
    hit = set()
    for y in range(y0, y1):
        for x in range(x0, x1):
            p = px[x, y]
            if all(abs(p[i] - want[i]) <= t for i in range(3)):
                hit.add((x, y))
    areas = []
    while hit:
        start = hit.pop()
        stack, n = [start], 0
        bx0 = bx1 = start[0]
        by0 = by1 = start[1]
        while stack:
            x, y = stack.pop()
            n += 1
            bx0, bx1, by0, by1 = min(bx0, x), max(bx1, x), min(by0, y), max(by1, y)
            for q in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                if q in hit:
                    hit.remove(q)
                    stack.append(q)
        if n >= a.min:
            areas.append((by0, bx0, bx1, by1, n))
    areas.sort()
    for by0, bx0, bx1, by1, n in areas:
        print((bx0 + bx1) // 2, (by0 + by1) // 2, bx1 - bx0 + 1, by1 - by0 + 1)
    return 0 if areas else 1


if __name__ == "__main__":
    sys.exit(main())
