#!/usr/bin/python3
"""Where a popup menu came up: the largest area that differs between a
screenshot before it opened and one after, and the rows of text in it.

usage: popup_find.py BEFORE.png AFTER.png [--box X0,Y0,X1,Y1] [--min-size N]
Prints the box of the area's face (its commonest colour) "x0 y0 x1 y1" (screen pixels, x1 and y1 inclusive) on
the first line, then one "x y" per row of text in it, top to bottom: the
centre of the row's ink. --box limits the search (a Wayland compositor
cannot tell which surface a popup belongs to, so the caller names where it
may be); areas smaller than N x N pixels (default 40) do not count: a
blinking caret or a link's underline are not a menu.
Exit status 0 when such an area was found, 1 otherwise.
"""
import argparse
import sys

from PIL import Image, ImageChops

CELL = 4  # the difference is looked at in 4 x 4 cells: the areas stay whole


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("before")
    ap.add_argument("after")
    ap.add_argument("--box", type=lambda v: tuple(int(n) for n in v.split(",")))
    ap.add_argument("--min-size", type=int, default=40)
    a = ap.parse_args()
    before = Image.open(a.before).convert("RGB")
    after = Image.open(a.after).convert("RGB")
    x0, y0, x1, y1 = a.box or (0, 0, after.width, after.height)
    x0, y0 = max(0, x0), max(0, y0)
    x1, y1 = min(after.width, x1), min(after.height, y1)
    diff = ImageChops.difference(before.crop((x0, y0, x1, y1)), after.crop((x0, y0, x1, y1)))
    # Any channel off by more than rounding makes the pixel differ.
    differs = diff.convert("L").point(lambda v: 255 if v > 6 else 0)
    cw, ch = (x1 - x0 + CELL - 1) // CELL, (y1 - y0 + CELL - 1) // CELL
    cells = differs.resize((cw, ch), Image.BOX).load()
    hit = {(i, j) for j in range(ch) for i in range(cw) if cells[i, j]}
    best = None
    while hit:
        stack = [hit.pop()]
        area = []
        while stack:
            i, j = stack.pop()
            area.append((i, j))
            for q in ((i + 1, j), (i - 1, j), (i, j + 1), (i, j - 1)):
                if q in hit:
                    hit.remove(q)
                    stack.append(q)
        if best is None or len(area) > len(best):
            best = area
    if not best:
        print("nothing differs")
        return 1
    bx0 = x0 + min(i for i, _ in best) * CELL
    by0 = y0 + min(j for _, j in best) * CELL
    bx1 = min(x1, x0 + (max(i for i, _ in best) + 1) * CELL) - 1
    by1 = min(y1, y0 + (max(j for _, j in best) + 1) * CELL) - 1
    # Tighten the cells to the pixels that differ.
    inner = differs.crop((bx0 - x0, by0 - y0, bx1 - x0 + 1, by1 - y0 + 1)).getbbox()
    if inner:
        bx0, by0, bx1, by1 = bx0 + inner[0], by0 + inner[1], bx0 + inner[2] - 1, by0 + inner[3] - 1
    # The popup's face is its commonest colour; a shadow around it, drawn
    # over what was there, is not the popup.
    area = after.crop((bx0, by0, bx1 + 1, by1 + 1))
    face_rgb = max(area.getcolors(1 << 24))[1]
    mask = Image.eval(ImageChops.difference(area, Image.new("RGB", area.size, face_rgb)).convert("L"),
                      lambda v: 255 if v == 0 else 0)
    fx0, fy0, fx1, fy1 = mask.getbbox()
    bx0, by0, bx1, by1 = bx0 + fx0, by0 + fy0, bx0 + fx1 - 1, by0 + fy1 - 1
    print(bx0, by0, bx1, by1)
    if bx1 - bx0 + 1 < a.min_size or by1 - by0 + 1 < a.min_size:
        return 1
    # Rows of text: runs of lines holding ink, apart by more than a
    # character's own gaps. Ink is well darker than the face; a separator
    # is not.
    px = after.load()
    face = sum(face_rgb)
    inky = []
    for y in range(by0, by1 + 1):
        inky.append([x for x in range(bx0, bx1 + 1) if face - sum(px[x, y]) > 240])
    rows, start, gap = [], None, 0
    for k, xs in enumerate(inky + [[]] * 4):
        if xs:
            if start is None:
                start = k
            gap, last = 0, k
        elif start is not None:
            gap += 1
            if gap > 3:
                if last - start >= 4:
                    ink = [x for row in inky[start:last + 1] for x in row]
                    rows.append(((min(ink) + max(ink)) // 2, by0 + (start + last) // 2))
                start = None
    for x, y in rows:
        print(x, y)
    return 0


if __name__ == "__main__":
    sys.exit(main())
