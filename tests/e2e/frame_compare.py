#!/usr/bin/python3
"""Checks a screenshot of the main window against the frame computed from the
committed art by the window's own copy rules: title band, side borders,
bottom edge, bottom band, caption buttons, search button and the twelve
category buttons. Areas the art does not decide (logo, search field, labels,
the browser, the rounded corners) are left out.

usage: frame_compare.py ART_DIR SHOT.png X Y W H [--selected N] [--hover B]
                        [--pressed sok] [--skip X0,Y0,X1,Y1]... [--search-frame]
                        [--scale N] [--diff OUT.png]
B names the one button under the pointer: close, minimize, sok, or a
category index 2..13 (whose hover look comes from 105.bmp). --skip leaves a
window-relative box out of the comparison. --search-frame compares the
search field's frame picture (so.gif at 300,35) around its text box too.
--scale N: the window is shown N times enlarged (X Y W H are still the
shot's pixels): the frame at W/N x H/N is enlarged N times, each pixel a
block of N x N, and compared pixel for pixel. --skip boxes are in the
window's unscaled pixels.
Exit status 0 when every compared pixel matches, 1 otherwise.
"""
import argparse
import sys

from PIL import Image, ImageChops

BODY = (118, 207, 233)


def load(art, name):
    return Image.open(f"{art}/{name}").convert("RGB")


def stretch(dst, src, dx, dy, dw, dh, sx, sy, sw, sh):
    if dw <= 0 or dh <= 0:
        return
    for j in range(dh):
        for i in range(dw):
            x, y = dx + i, dy + j
            if 0 <= x < dst.width and 0 <= y < dst.height:
                dst.putpixel((x, y), src.getpixel((sx + i * sw // dw, sy + j * sh // dh)))


SEARCH_FRAME = (300, 35)
SEARCH_TEXT = (308, 42, 595, 60)  # the text box inside it, drawn by the toolkit


def expected_frame(art, w, h, selected, hover=None, pressed=None, search_frame=False):
    atlas = load(art, "101.bmp")
    img = Image.new("RGB", (w, h), BODY)
    pieces = [
        (0, 85, 6, h - 85, 0, 85, 6, 10),
        (w - 6, 85, 6, h - 85, 9, 85, 6, 10),
        (6, h - 5, w - 9, 5, 6, 95, 6, 5),
        (0, h - 5, 6, 5, 0, 95, 6, 5),
        (w - 3, h - 5, 3, 5, 12, 95, 3, 5),
        (5, 0, w - 10, 85, 5, 0, 5, 85),
        (0, 0, 5, 85, 0, 0, 5, 85),
        (w - 5, 0, 5, 85, 10, 0, 5, 85),
    ]
    for p in pieces:
        stretch(img, atlas, *p)
    caption = load(art, "102.bmp")
    row = 19 if hover == "close" else 0
    img.paste(caption.crop((27, row, 64, row + 19)), (w - 43, 0))
    row = 19 if hover == "minimize" else 0
    img.paste(caption.crop((0, row, 27, row + 19)), (w - 70, 0))
    search = 144 if pressed == "sok" else 72 if hover == "sok" else 0
    img.paste(load(art, "106.bmp").crop((search, 0, search + 72, 28)), (611, 35))
    normal, chosen, hot = load(art, "103.bmp"), load(art, "104.bmp"), load(art, "105.bmp")
    for k in range(2, 14):
        strip = chosen if k == selected else hot if str(k) == hover else normal
        img.paste(strip.crop((0, (k - 2) * 39, 130, (k - 1) * 39)), (6, 85 + (k - 2) * 39))
    if search_frame:
        # Its transparent corners show the title band under it.
        so = Image.open(f"{art}/so.gif").convert("RGBA")
        img.paste(so.convert("RGB"), SEARCH_FRAME, so.getchannel("A"))
    return img


def compared_mask(w, h, skipped=(), search_frame=False):
    """True where the art decides the pixel."""
    keep = [[False] * w for _ in range(h)]

    def mark(x0, y0, x1, y1, value):
        for y in range(max(0, y0), min(h, y1)):
            row = keep[y]
            for x in range(max(0, x0), min(w, x1)):
                row[x] = value

    mark(0, 0, w, 85, True)  # title band with its buttons
    mark(0, 85, 6, h, True)  # left border
    mark(w - 6, 85, w, h, True)  # right border
    mark(0, h - 30, w, h, True)  # bottom band and edge
    mark(6, 85, 136, 85 + 12 * 39, True)  # category column
    for x0, y0, x1, y1 in [
        (10, 2, 190, 83),  # logo
        (300, 35, 603, 63),  # search field frame and text box
        (700, 40, 840, 62),  # link labels
        (16, h - 24, 300, h - 4),  # status label
    ]:
        mark(x0, y0, x1, y1, False)
    for cx, cy in [(0, 0), (w - 3, 0), (0, h - 3), (w - 3, h - 3)]:
        mark(cx, cy, cx + 3, cy + 3, False)  # rounded outline
    if search_frame:
        mark(300, 35, 603, 63, True)
        mark(*SEARCH_TEXT, False)
    for box in skipped:
        mark(*box, False)
    return keep


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("art")
    ap.add_argument("shot")
    ap.add_argument("x", type=int)
    ap.add_argument("y", type=int)
    ap.add_argument("w", type=int)
    ap.add_argument("h", type=int)
    ap.add_argument("--selected", type=int, default=2)
    ap.add_argument("--hover")
    ap.add_argument("--pressed")
    ap.add_argument("--skip", action="append", default=[],
                    type=lambda v: tuple(int(n) for n in v.split(",")))
    ap.add_argument("--search-frame", action="store_true")
    ap.add_argument("--scale", type=int, default=1)
    ap.add_argument("--diff")
    a = ap.parse_args()
    n = a.scale
    if n < 1 or a.w % n or a.h % n:
        print(f"a {a.w} x {a.h} window is not {n} times a whole size")
        return 1
    w, h = a.w // n, a.h // n
    shot = Image.open(a.shot).convert("RGB").crop((a.x, a.y, a.x + a.w, a.y + a.h))
    want = expected_frame(a.art, w, h, a.selected, a.hover, a.pressed, a.search_frame)
    keep = compared_mask(w, h, a.skip, a.search_frame)
    mask = Image.frombytes("L", (w, h), bytes(255 if v else 0 for row in keep for v in row))
    if n > 1:
        want = want.resize((a.w, a.h), Image.NEAREST)
        mask = mask.resize((a.w, a.h), Image.NEAREST)
    # A pixel differs when any of its channels does; only compared ones count.
    r, g, b = ImageChops.difference(shot, want).split()
    differs = ImageChops.lighter(ImageChops.lighter(r, g), b).point(lambda v: 255 if v else 0)
    differs = ImageChops.multiply(differs, mask)
    total = a.w * a.h - mask.histogram()[0]
    bad = []
    if differs.getbbox():
        got_px, want_px, differs_px = shot.load(), want.load(), differs.load()
        bad = [(x, y, got_px[x, y], want_px[x, y])
               for y in range(a.h) for x in range(a.w) if differs_px[x, y]]
    if a.diff:
        diff = want.copy()
        for x, y, _, _ in bad:
            diff.putpixel((x, y), (255, 0, 255))
        diff.save(a.diff)
    print(f"frame pixels compared: {total}, mismatched: {len(bad)}")
    for x, y, got, exp in bad[:12]:
        print(f"  ({x},{y}) got {got} want {exp}")
    return 0 if not bad else 1


if __name__ == "__main__":
    sys.exit(main())
