#!/usr/bin/python3
"""Draws every bitmap, icon and cursor the frame window is skinned with,
and the program's icon for the desktop's icon theme (icons/kivo-N.png).

The art is generated rather than hand-painted so that the colours the frame
code relies on (outline, body, band gradient) live in exactly one place and
the files can be rebuilt byte for byte.  Output is deterministic: no
timestamps, no randomness, palettes built in a fixed scan order.

Usage:  /usr/bin/python3 frame/art/make_art.py [--out DIR]
(DIR defaults to the directory this script lives in.)
"""

import argparse
import math
import os
import struct

from PIL import Image, ImageDraw, ImageFont

FONT_PATH = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

# Colours the frame code paints with itself (region edges, client fill), so
# the skin has to hit them exactly.
TOP_OUTLINE = (21, 163, 207)
SIDE_OUTLINE = (36, 149, 207)
BODY = (118, 207, 233)
WHITE = (255, 255, 255)

BAND_ROWS = 85          # rows 0..84 of 101.bmp
SKIN_W, SKIN_H = 15, 100

# Title band gradient: glossy light cyan on top, a step down into strong blue
# half way, then easing back to the body colour so the band meets the side
# borders without a seam.
BAND_STOPS = [
    (1, (205, 242, 253)),
    (30, (122, 206, 242)),
    (31, (72, 172, 231)),
    (56, (42, 142, 216)),
    (84, BODY),
]


def lerp(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def band_fill(row):
    """Colour of the title band interior at a given row (1..84)."""
    for (r0, c0), (r1, c1) in zip(BAND_STOPS, BAND_STOPS[1:]):
        if r0 <= row <= r1:
            return lerp(c0, c1, (row - r0) / (r1 - r0))
    raise ValueError(row)


def band_middle(row):
    """What the stretchable middle of the title band shows at a given row."""
    return TOP_OUTLINE if row == 0 else band_fill(row)


# ---------------------------------------------------------------- writers

def _bmp(width, height, bpp, palette_bytes, n_colours, rows):
    """rows: top-down list of already-packed pixel rows (unpadded)."""
    stride = (width * bpp // 8 + 3) & ~3
    data = b"".join(r + b"\0" * (stride - len(r)) for r in reversed(rows))
    off = 14 + 40 + len(palette_bytes)
    file_header = struct.pack("<2sIHHI", b"BM", off + len(data), 0, 0, off)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0,
                       len(data), 2835, 2835, n_colours, 0)
    return file_header + info + palette_bytes + data


def write_bmp_paletted(path, img, entries):
    """8-bit BMP whose palette has exactly `entries` slots.

    The palette is built from the image's own colours in scan order, so every
    colour survives exactly; the art for these files is drawn to stay within
    budget rather than being quantised.
    """
    img = img.convert("RGB")
    w, h = img.size
    px = img.load()
    index = {}
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            c = px[x, y]
            if c not in index:
                index[c] = len(index)
            row.append(index[c])
        rows.append(bytes(row))
    if len(index) > entries:
        raise SystemExit("%s: %d colours do not fit a %d-entry palette"
                         % (path, len(index), entries))
    pal = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0) for c in index)
    pal += b"\0\0\0\0" * (entries - len(index))
    _save(path, _bmp(w, h, 8, pal, entries, rows))


def write_bmp32(path, img):
    """32-bit BI_RGB BMP, fully opaque (alpha byte 255 for AlphaBlend users)."""
    img = img.convert("RGB")
    w, h = img.size
    px = img.load()
    rows = []
    for y in range(h):
        rows.append(b"".join(struct.pack("<BBBB", px[x, y][2], px[x, y][1],
                                         px[x, y][0], 255) for x in range(w)))
    _save(path, _bmp(w, h, 32, b"", 0, rows))


def _save(path, data):
    with open(path, "wb") as f:
        f.write(data)


def _mask_rows(width, height, is_clear):
    """1-bpp AND mask rows, bottom-up, each padded to 4 bytes."""
    stride = ((width + 31) // 32) * 4
    out = []
    for y in reversed(range(height)):
        bits = bytearray(stride)
        for x in range(width):
            if is_clear(x, y):
                bits[x >> 3] |= 0x80 >> (x & 7)
        out.append(bytes(bits))
    return b"".join(out)


def _dib_header(width, height, bpp, n_colours, size_image):
    # Icon/cursor DIBs store XOR + AND stacked, hence the doubled height.
    return struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bpp, 0,
                       size_image, 0, 0, n_colours, 0)


def icon_dib_8bit(rgba):
    """256-colour DIB with a binary AND mask; transparent pixels use black so
    the classic AND/XOR blit leaves the screen untouched."""
    w, h = rgba.size
    alpha = rgba.getchannel("A")
    rgb = rgba.convert("RGB")
    q = rgb.quantize(colors=255, method=Image.Quantize.MEDIANCUT,
                     dither=Image.Dither.NONE)
    pal = q.getpalette()[:255 * 3]
    pal += [0] * (255 * 3 - len(pal))
    pal += [0, 0, 0]                       # slot 255: transparent black
    a = alpha.load()
    qi = q.load()
    clear = lambda x, y: a[x, y] < 128
    stride = (w + 3) & ~3
    xor = b"".join(
        bytes(255 if clear(x, y) else qi[x, y] for x in range(w))
        + b"\0" * (stride - w) for y in reversed(range(h)))
    andm = _mask_rows(w, h, clear)
    pal_bytes = b"".join(struct.pack("<BBBB", pal[i + 2], pal[i + 1], pal[i], 0)
                         for i in range(0, 256 * 3, 3))
    return _dib_header(w, h, 8, 256, len(xor) + len(andm)) + pal_bytes + xor + andm


def icon_dib_32bit(rgba):
    w, h = rgba.size
    p = rgba.load()
    rows = []
    for y in reversed(range(h)):
        row = bytearray()
        for x in range(w):
            r, g, b, a = p[x, y]
            row += bytes((b, g, r, a) if a else (0, 0, 0, 0))
        rows.append(bytes(row))
    xor = b"".join(rows)
    andm = _mask_rows(w, h, lambda x, y: p[x, y][3] == 0)
    return _dib_header(w, h, 32, 0, len(xor) + len(andm)) + xor + andm


def write_icon_file(path, kind, images):
    """images: list of (width, height, colour_count, field1, field2, dib).

    For icons field1/field2 are planes/bit count, for cursors the hot spot.
    """
    head = struct.pack("<HHH", 0, kind, len(images))
    offset = len(head) + 16 * len(images)
    entries, blobs = b"", b""
    for w, h, ncol, f1, f2, dib in images:
        entries += struct.pack("<BBBBHHII", w & 0xFF, h & 0xFF, ncol, 0,
                               f1, f2, len(dib), offset)
        offset += len(dib)
        blobs += dib
    _save(path, head + entries + blobs)


# ---------------------------------------------------------------- helpers

def font(size):
    return ImageFont.truetype(FONT_PATH, size)


def vgradient(w, h, stops):
    """Vertical gradient image from (row, colour) stops; a repeated row gives
    a hard step, which is what makes the bars look glossy."""
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):
        for (r0, c0), (r1, c1) in zip(stops, stops[1:]):
            if r0 <= y <= r1:
                c = c0 if r1 == r0 else lerp(c0, c1, (y - r0) / (r1 - r0))
                break
        else:
            c = stops[-1][1]
        d.line([(0, y), (w - 1, y)], fill=c)
    return img


def paste_white(img, mask, xy, colour=WHITE):
    img.paste(Image.new("RGB", mask.size, colour), xy, mask)


def text_centered_y(draw, x, cell_top, cell_h, text, fnt, fill,
                    shadow=None):
    l, t, r, b = draw.textbbox((0, 0), text, font=fnt)
    y = cell_top + (cell_h - (b - t)) // 2 - t
    if shadow:
        draw.text((x + 1, y + 1), text, font=fnt, fill=shadow)
    draw.text((x, y), text, font=fnt, fill=fill)


# ---------------------------------------------------------------- 101 skin

def make_skin():
    img = Image.new("RGB", (SKIN_W, SKIN_H))
    px = img.load()
    right = SKIN_W - 1

    # Title band.
    for y in range(BAND_ROWS):
        for x in range(SKIN_W):
            px[x, y] = band_middle(y)
        if y:
            px[0, y] = px[right, y] = TOP_OUTLINE
    # Rounded top corners.  The pixels outside the curve are mostly cut off
    # by the window region; they get a soft tint rather than a hard colour so
    # that an unclipped corner still looks rounded.
    outside = lerp(TOP_OUTLINE, band_fill(1), 0.75)
    aa = lerp(TOP_OUTLINE, band_fill(1), 0.4)
    for x, y, c in [(0, 0, outside), (1, 0, aa), (0, 1, aa),
                    (1, 1, TOP_OUTLINE)]:
        px[x, y] = c
        px[right - x, y] = c

    # Side borders, rows 85..94, all identical.
    for y in range(BAND_ROWS, 95):
        for x in range(SKIN_W):
            px[x, y] = BODY
        px[0, y] = px[right, y] = SIDE_OUTLINE

    # Bottom edge: body shading down into the outline row.
    shades = [BODY, lerp(BODY, SIDE_OUTLINE, 0.12),
              lerp(BODY, SIDE_OUTLINE, 0.25), lerp(BODY, SIDE_OUTLINE, 0.4)]
    for i, y in enumerate(range(95, 99)):
        for x in range(SKIN_W):
            px[x, y] = shades[i]
        px[0, y] = px[right, y] = SIDE_OUTLINE
    for x in range(SKIN_W):
        px[x, 99] = SIDE_OUTLINE
    out_b = lerp(SIDE_OUTLINE, BODY, 0.75)
    aa_b = lerp(SIDE_OUTLINE, BODY, 0.4)
    for x, y, c in [(0, 99, out_b), (1, 99, aa_b), (0, 98, aa_b),
                    (1, 98, SIDE_OUTLINE)]:
        px[x, y] = c
        px[right - x, y] = c
    return img


# ---------------------------------------------------------------- 102 caption

CAPTION_DIVIDER = (74, 158, 212)
GLYPH_EDGE = (28, 96, 150)


def make_caption_buttons():
    w, h, cell_h = 64, 38, 19
    img = Image.new("RGB", (w, h))
    px = img.load()
    min_w = 27
    for y in range(cell_h):
        normal = band_middle(y)
        hover_min = TOP_OUTLINE if y == 0 else lerp(band_fill(y), WHITE, 0.45)
        hover_close = TOP_OUTLINE if y == 0 else lerp((240, 98, 84),
                                                      (196, 36, 30), y / 18)
        for x in range(w):
            px[x, y] = normal
            px[x, y + cell_h] = hover_min if x < min_w else hover_close

    def glyph(points, top, edge):
        pts = set(points)
        if edge:
            for (x, y) in pts:
                for dx in (-1, 0, 1):
                    for dy in (-1, 0, 1):
                        q = (x + dx, y + dy)
                        if q not in pts:
                            px[q[0], q[1] + top] = edge
        for (x, y) in pts:
            px[x, y + top] = WHITE

    # Content rows are 0..17 in each look; glyphs centre on row 9.
    dash = [(x, y) for x in range(9, 18) for y in (9, 10)]
    cx = min_w + (w - min_w) // 2          # 45
    cross = []
    for i in range(-4, 5):
        for dx in (0, 1):
            cross.append((cx + i + dx - 1, 9 + i))
            cross.append((cx - i + dx - 1, 9 + i))
    for top in (0, cell_h):
        glyph(dash, top, GLYPH_EDGE)
        glyph(cross, top, GLYPH_EDGE)

    for y in range(h):
        px[min_w - 1, y] = CAPTION_DIVIDER
    for x in range(w):
        px[x, cell_h - 1] = CAPTION_DIVIDER
    return img


# ---------------------------------------------------------------- glyphs

GLYPH_SIZE = 20
GLYPH_SCALE = 8


class Pen:
    """Draws in 0..20 glyph units onto a supersampled mask."""

    def __init__(self):
        n = GLYPH_SIZE * GLYPH_SCALE
        self.img = Image.new("L", (n, n), 0)
        self.d = ImageDraw.Draw(self.img)

    @staticmethod
    def s(v):
        return v * GLYPH_SCALE

    def box(self, x0, y0, x1, y1):
        return [self.s(x0), self.s(y0), self.s(x1) - 1, self.s(y1) - 1]

    def ellipse(self, x0, y0, x1, y1, on=True):
        self.d.ellipse(self.box(x0, y0, x1, y1), fill=255 if on else 0)

    def circle(self, cx, cy, r, on=True):
        self.ellipse(cx - r, cy - r, cx + r, cy + r, on)

    def rect(self, x0, y0, x1, y1, radius=0.0, on=True):
        self.d.rounded_rectangle(self.box(x0, y0, x1, y1),
                                 radius=self.s(radius), fill=255 if on else 0)

    def poly(self, pts, on=True):
        self.d.polygon([(self.s(x), self.s(y)) for x, y in pts],
                       fill=255 if on else 0)

    def line(self, pts, width, on=True):
        self.d.line([(self.s(x), self.s(y)) for x, y in pts],
                    fill=255 if on else 0, width=int(self.s(width)),
                    joint="curve")
        # Round the caps so strokes don't end in hard squares.
        for x, y in (pts[0], pts[-1]):
            self.circle(x, y, width / 2 - 0.05, on)

    def arc(self, x0, y0, x1, y1, start, end, width):
        self.d.arc(self.box(x0, y0, x1, y1), start, end, fill=255,
                   width=int(self.s(width)))

    def mask(self):
        return self.img.resize((GLYPH_SIZE, GLYPH_SIZE), Image.BOX)


def glyph_bulb(p):
    p.circle(10, 8, 6.3)
    p.poly([(5.6, 11), (14.4, 11), (12.6, 15), (7.4, 15)])
    p.rect(7.2, 15.6, 12.8, 17.0, 0.6)
    p.rect(7.8, 17.6, 12.2, 19.4, 0.9)
    # A cut-out glint makes it read as glass rather than a lollipop.
    p.arc(6.0, 4.0, 14.0, 12.0, 200, 260, 1.3)
    p.d.arc(p.box(6.2, 4.2, 13.8, 11.8), 195, 265, fill=0,
            width=int(p.s(1.3)))


def glyph_squares(p):
    for x0 in (1, 11):
        for y0 in (1, 11):
            p.rect(x0, y0, x0 + 8, y0 + 8, 1.5)


def glyph_bars(p):
    p.rect(1, 1.5, 2.6, 19.5, 0.5)
    p.rect(1, 17.9, 19.5, 19.5, 0.5)
    p.rect(4.2, 11, 7.6, 16.8, 0.4)
    p.rect(9.2, 4.5, 12.6, 16.8, 0.4)
    p.rect(14.2, 8, 17.6, 16.8, 0.4)


def glyph_camera(p):
    for cx in (4.6, 10.8):
        p.circle(cx, 4.4, 3.5)
        p.circle(cx, 4.4, 1.1, on=False)
    p.rect(1, 8.6, 14, 18.4, 1.4)
    p.poly([(13.4, 11.6), (19.4, 8.6), (19.4, 18.4), (13.4, 15.4)])
    p.rect(3, 11, 7.5, 13, 0.5, on=False)


def glyph_tv(p):
    p.line([(6, 0.8), (10, 4.8), (14, 0.8)], 1.3)
    p.rect(1, 5, 19, 17.2, 1.8)
    p.rect(3, 7, 14.2, 15.2, 1.0, on=False)
    p.circle(16.6, 9.4, 1.0, on=False)
    p.circle(16.6, 12.8, 1.0, on=False)
    p.rect(4, 16.5, 6, 19.6, 0.5)
    p.rect(14, 16.5, 16, 19.6, 0.5)


def glyph_cat(p):
    p.poly([(2.2, 10), (3.0, 0.8), (9, 5.6)])
    p.poly([(17.8, 10), (17.0, 0.8), (11, 5.6)])
    p.ellipse(2, 4.6, 18, 19)
    p.ellipse(5.4, 9.4, 8.4, 12.8, on=False)
    p.ellipse(11.6, 9.4, 14.6, 12.8, on=False)
    p.poly([(8.8, 13.8), (11.2, 13.8), (10, 15.2)], on=False)
    p.line([(10, 15.2), (8.4, 16.4)], 0.7, on=False)
    p.line([(10, 15.2), (11.6, 16.4)], 0.7, on=False)
    for y0, y1 in ((12.8, 12.0), (14.6, 15.2)):
        p.line([(2.4, y0), (0.3, y1)], 0.7)
        p.line([(17.6, y0), (19.7, y1)], 0.7)


def glyph_lyre(p):
    left = [(7.2, 17.4), (4.0, 14.2), (3.0, 9.4), (4.4, 5.2), (2.8, 1.8)]
    p.line(left, 1.9)
    p.line([(20 - x, y) for x, y in left], 1.9)
    p.line([(3.4, 4.6), (16.6, 4.6)], 1.5)
    for x in (7.6, 10, 12.4):
        p.line([(x, 4.6), (x, 17)], 0.8)
    p.rect(5.2, 16.6, 14.8, 19.6, 1.2)


def glyph_headphones(p):
    p.arc(2.2, 2.0, 17.8, 19.0, 180, 360, 2.0)
    p.rect(2.2, 10.2, 3.9, 13, 0.3)
    p.rect(16.1, 10.2, 17.8, 13, 0.3)
    p.rect(0.8, 11.2, 6.0, 19.4, 1.6)
    p.rect(14.0, 11.2, 19.2, 19.4, 1.6)


def glyph_cog(p):
    cx = cy = 10
    for k in range(8):
        a = math.radians(k * 45 + 22.5)
        ux, uy = math.cos(a), math.sin(a)
        vx, vy = -uy, ux
        r0, r1, hw = 5.0, 9.4, 1.9
        p.poly([(cx + ux * r0 + vx * hw, cy + uy * r0 + vy * hw),
                (cx + ux * r1 + vx * hw * 0.8, cy + uy * r1 + vy * hw * 0.8),
                (cx + ux * r1 - vx * hw * 0.8, cy + uy * r1 - vy * hw * 0.8),
                (cx + ux * r0 - vx * hw, cy + uy * r0 - vy * hw)])
    p.circle(cx, cy, 7.0)
    p.circle(cx, cy, 2.9, on=False)


def glyph_reel(p):
    p.circle(10, 10, 9.2)
    for k in range(5):
        a = math.radians(-90 + 72 * k)
        p.circle(10 + 5.1 * math.cos(a), 10 + 5.1 * math.sin(a), 2.3,
                 on=False)
    p.circle(10, 10, 1.1, on=False)


CATEGORIES = [
    (glyph_bulb, "热门影片"),
    (glyph_squares, "今日更新"),
    (glyph_bars, "下载排行"),
    (glyph_camera, "手机电影"),
    (glyph_tv, "手机剧集"),
    (glyph_cat, "手机动漫"),
    (glyph_lyre, "手机MTV"),
    (glyph_headphones, "手机综艺"),
    (glyph_cog, "高清电影"),
    (glyph_reel, "手机动作片"),
    (glyph_reel, "手机爱情片"),
    (glyph_reel, "手机恐怖片"),
]

BAR_W, BAR_H = 130, 39

# (gradient stops, top highlight, bottom separator, text shadow)
BAR_LOOKS = {
    "103.bmp": ([(0, (132, 214, 246)), (18, (90, 190, 238)),
                 (19, (44, 150, 220)), (38, (80, 182, 234))],
                (214, 244, 255), (30, 118, 176), (20, 96, 150)),
    "104.bmp": ([(0, (70, 104, 168)), (18, (40, 70, 138)),
                 (19, (18, 40, 98)), (38, (30, 58, 122))],
                (112, 142, 196), (8, 22, 64), (4, 14, 44)),
    "105.bmp": ([(0, (76, 162, 232)), (5, (76, 162, 232)),
                 (6, (176, 226, 252)), (15, (132, 204, 248)),
                 (16, (44, 136, 216)), (38, (64, 156, 228))],
                (190, 232, 255), (22, 92, 164), (16, 70, 130)),
}


def make_bar_strip(look):
    stops, hilite, sep, shadow = look
    cell = vgradient(BAR_W, BAR_H, stops)
    d = ImageDraw.Draw(cell)
    d.line([(0, 0), (BAR_W - 1, 0)], fill=hilite)
    d.line([(0, BAR_H - 1), (BAR_W - 1, BAR_H - 1)], fill=sep)
    strip = Image.new("RGB", (BAR_W, BAR_H * len(CATEGORIES)))
    fnt = font(14)
    for k, (draw_glyph, label) in enumerate(CATEGORIES):
        c = cell.copy()
        pen = Pen()
        draw_glyph(pen)
        m = pen.mask()
        top = (BAR_H - GLYPH_SIZE) // 2
        paste_white(c, m, (12, top + 1), shadow)
        paste_white(c, m, (11, top))
        text_centered_y(ImageDraw.Draw(c), 40, 0, BAR_H, label, fnt, WHITE,
                        shadow=shadow)
        strip.paste(c, (0, k * BAR_H))
    return strip


# ---------------------------------------------------------------- 106 search

SEARCH_BACKDROP = band_fill(56)


def make_search_button():
    cw, ch = 72, 28
    looks = [
        ([(0, (118, 196, 246)), (13, (70, 160, 234)), (14, (34, 124, 212)),
          (27, (58, 150, 226))], (22, 88, 160), 0),
        ([(0, (160, 220, 252)), (13, (108, 190, 246)), (14, (62, 156, 232)),
          (27, (96, 182, 242))], (30, 104, 176), 0),
        ([(0, (30, 104, 180)), (13, (26, 92, 166)), (14, (18, 74, 146)),
          (27, (26, 86, 158))], (12, 56, 118), 1),
    ]
    out = Image.new("RGB", (cw * 3, ch))
    fnt = font(14)
    ss = 4
    for i, (stops, edge, sink) in enumerate(looks):
        face = vgradient(cw, ch, stops)
        # Supersampled rounded mask so the corners blend into the band.
        m = Image.new("L", (cw * ss, ch * ss), 0)
        ImageDraw.Draw(m).rounded_rectangle([0, 0, cw * ss - 1, ch * ss - 1],
                                            radius=6 * ss, fill=255)
        m = m.resize((cw, ch), Image.BOX)
        inner = Image.new("L", (cw * ss, ch * ss), 0)
        ImageDraw.Draw(inner).rounded_rectangle(
            [ss, ss, (cw - 1) * ss - 1, (ch - 1) * ss - 1], radius=5 * ss,
            fill=255)
        inner = inner.resize((cw, ch), Image.BOX)
        cell = Image.new("RGB", (cw, ch), SEARCH_BACKDROP)
        cell.paste(Image.new("RGB", (cw, ch), edge), (0, 0), m)
        cell.paste(face, (0, 0), inner)
        d = ImageDraw.Draw(cell)
        text = "搜 索"
        l, t, r, b = d.textbbox((0, 0), text, font=fnt)
        x = (cw - (r - l)) // 2 - l + sink
        y = (ch - (b - t)) // 2 - t + sink
        d.text((x + 1, y + 1), text, font=fnt, fill=edge)
        d.text((x, y), text, font=fnt, fill=WHITE)
        out.paste(cell, (i * cw, 0))
    return out


# ---------------------------------------------------------------- mascot

MASCOT_CANVAS = 960


def draw_mascot():
    """The green one-eyed figure, drawn once large; every icon size and the
    logo are box-filtered down from this so they stay consistent."""
    n = MASCOT_CANVAS
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    s = lambda v: int(round(v * n))
    ink = (26, 84, 22, 255)
    green = (104, 196, 62, 255)
    light = (172, 230, 112, 255)
    ow = s(0.028)

    def ell(x0, y0, x1, y1, fill, outline=ink, width=ow):
        d.ellipse([s(x0), s(y0), s(x1), s(y1)], fill=fill, outline=outline,
                  width=width)

    # Antenna behind the head.
    d.line([s(0.5), s(0.17), s(0.56), s(0.05)], fill=ink, width=s(0.03))
    ell(0.52, 0.0, 0.62, 0.1, (255, 214, 48, 255))
    # Arms and feet sit behind the body.
    ell(0.05, 0.46, 0.25, 0.62, green)
    ell(0.75, 0.46, 0.95, 0.62, green)
    ell(0.24, 0.84, 0.47, 0.98, green)
    ell(0.53, 0.84, 0.76, 0.98, green)
    ell(0.16, 0.12, 0.84, 0.92, green)
    d.ellipse([s(0.3), s(0.58), s(0.7), s(0.88)], fill=light)
    # The single big eye.
    ell(0.28, 0.2, 0.72, 0.58, (255, 255, 255, 255))
    d.ellipse([s(0.41), s(0.31), s(0.63), s(0.53)], fill=(38, 44, 70, 255))
    d.ellipse([s(0.45), s(0.34), s(0.53), s(0.42)], fill=(255, 255, 255, 255))
    # Smile.
    d.arc([s(0.38), s(0.56), s(0.62), s(0.74)], 20, 160, fill=ink,
          width=s(0.026))
    return img


_MASCOT = None


def mascot(w, h):
    global _MASCOT
    if _MASCOT is None:
        _MASCOT = draw_mascot()
    return _MASCOT.resize((w, h), Image.BOX)


# ---------------------------------------------------------------- logo

LOGO_W, LOGO_H = 180, 81
LOGO_BAND_OFFSET = 2     # logo row r sits on title band row r + 2


def make_logo():
    img = Image.new("RGB", (LOGO_W, LOGO_H))
    d = ImageDraw.Draw(img)
    for y in range(LOGO_H):
        d.line([(0, y), (LOGO_W - 1, y)], fill=band_middle(y + LOGO_BAND_OFFSET))
    fig = mascot(64, 64)
    img.paste(fig, (6, 9), fig)
    edge = (18, 78, 140)
    d.text((78, 4), "Kivo", font=font(38), fill=(255, 222, 52),
           stroke_width=2, stroke_fill=edge)
    d.text((76, 54), "手机电影下载器", font=font(14), fill=WHITE,
           stroke_width=1, stroke_fill=edge)
    return img


# ---------------------------------------------------------------- so.gif

def make_search_field():
    w, h, radius = 303, 28, 6
    colours = [BODY, WHITE, (138, 168, 198), (204, 220, 234), (236, 243, 249)]
    img = Image.new("P", (w, h), 0)
    px = img.load()
    for y in range(h):
        for x in range(w):
            cx, cy = x + 0.5, y + 0.5
            dx = max(radius - cx, 0, cx - (w - radius))
            dy = max(radius - cy, 0, cy - (h - radius))
            if dx > 0 and dy > 0:
                depth = radius - math.hypot(dx, dy)
            else:
                depth = min(cx, w - cx, cy, h - cy)
            if depth < 0.25:
                idx = 0
            elif depth < 1.25:
                idx = 2
            elif depth < 2.25:
                idx = 3
            elif depth < 3.25 and cy < h / 2:
                idx = 4              # faint inner shadow along the top
            else:
                idx = 1
            px[x, y] = idx
    pal = [c for rgb in colours for c in rgb]
    img.putpalette(pal + [0] * (768 - len(pal)))
    return img


def save_gif(img, path):
    img.save(path, format="GIF", transparency=0, optimize=False)


def make_about():
    """80x80 figure with one transparent index; edges are flattened onto a
    light dialog grey since GIF has no partial transparency."""
    fig = mascot(76, 76)
    rgba = Image.new("RGBA", (80, 80), (0, 0, 0, 0))
    rgba.paste(fig, (2, 2))
    flat = Image.new("RGB", rgba.size, (236, 236, 236))
    flat.paste(rgba, (0, 0), rgba)
    q = flat.quantize(colors=255, method=Image.Quantize.MEDIANCUT,
                      dither=Image.Dither.NONE)
    pal = q.getpalette()[:255 * 3]
    pal += [0] * (255 * 3 - len(pal))
    a = rgba.getchannel("A").load()
    qp = q.load()
    out = Image.new("P", rgba.size, 0)
    op = out.load()
    for y in range(80):
        for x in range(80):
            op[x, y] = qp[x, y] + 1 if a[x, y] >= 128 else 0
    out.putpalette([236, 236, 236] + pal)
    return out


# ---------------------------------------------------------------- icon/cursor

ICON_SIZES = [(16, 16), (24, 24), (32, 32), (48, 48)]


def make_app_icon(path):
    images = []
    for w, h in ICON_SIZES:
        pad = 0 if w < 32 else 1
        fig = mascot(w - 2 * pad, h - 2 * pad)
        rgba = Image.new("RGBA", (w, h), (0, 0, 0, 0))
        rgba.paste(fig, (pad, pad))
        images.append((w, h, 0, 1, 8, icon_dib_8bit(rgba)))
        images.append((w, h, 0, 1, 32, icon_dib_32bit(rgba)))
    big = Image.new("RGBA", (256, 240), (0, 0, 0, 0))
    big.paste(mascot(236, 236), (10, 2))
    images.append((256, 240, 0, 1, 32, icon_dib_32bit(big)))
    write_icon_file(path, 1, images)


# The desktop's menus, docks and software centres ask the hicolor theme for
# these sizes; each is drawn from the same figure as app.ico, with a margin
# that grows with the size so the figure does not touch the tile's edge.
THEME_ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]


def theme_icon_margin(n):
    return 0 if n < 32 else max(1, n // 32)


def make_theme_icons(out_dir):
    os.makedirs(out_dir, exist_ok=True)
    for n in THEME_ICON_SIZES:
        pad = theme_icon_margin(n)
        rgba = Image.new("RGBA", (n, n), (0, 0, 0, 0))
        rgba.paste(mascot(n - 2 * pad, n - 2 * pad), (pad, pad))
        # No text chunks and a fixed compression level: the bytes depend on
        # the pixels alone.
        rgba.save(os.path.join(out_dir, "kivo-%d.png" % n), format="PNG",
                  optimize=False, compress_level=9)


HAND = [
    ".....##..........",
    "....#oo#.........",
    "....#oo#.........",
    "....#oo#.........",
    "....#oo#.........",
    "....#oo###.......",
    "....#oo#oo#......",
    "....#oo#oo###....",
    "....#oo#oo#oo#...",
    "....#oo#oo#oo###.",
    "....#oo#oo#oo#oo#",
    ".##.#oo#oo#oo#oo#",
    "#oo##oo#oo#oo#oo#",
    "#ooo#ooooooooooo#",
    ".#oooooooooooooo#",
    ".#oooooooooooooo#",
    "..#ooooooooooooo#",
    "..#oooooooooooo#.",
    "...#ooooooooooo#.",
    "...#ooooooooooo#.",
    "....#oooooooooo#.",
    "....############.",
]
HAND_HOTSPOT = (5, 0)


def make_hand_cursor(path):
    size = 32
    cell = lambda x, y: HAND[y][x] if y < len(HAND) and x < len(HAND[y]) else "."
    # Palette 0 black, 1 white; AND=1 with XOR=0 leaves the screen alone.
    stride = 4
    xor = b""
    for y in reversed(range(size)):
        bits = bytearray(stride)
        for x in range(size):
            if cell(x, y) == "o":
                bits[x >> 3] |= 0x80 >> (x & 7)
        xor += bytes(bits)
    andm = _mask_rows(size, size, lambda x, y: cell(x, y) == ".")
    pal = struct.pack("<BBBB", 0, 0, 0, 0) + struct.pack("<BBBB", 255, 255, 255, 0)
    dib = _dib_header(size, size, 1, 2, len(xor) + len(andm)) + pal + xor + andm
    write_icon_file(path, 2, [(size, size, 2, HAND_HOTSPOT[0], HAND_HOTSPOT[1],
                               dib)])


# ---------------------------------------------------------------- main

def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)))
    out = ap.parse_args().out
    os.makedirs(out, exist_ok=True)
    p = lambda name: os.path.join(out, name)

    write_bmp_paletted(p("101.bmp"), make_skin(), 256)
    write_bmp_paletted(p("102.bmp"), make_caption_buttons(), 64)
    for name, look in BAR_LOOKS.items():
        write_bmp32(p(name), make_bar_strip(look))
    write_bmp32(p("106.bmp"), make_search_button())
    write_bmp32(p("logo.bmp"), make_logo())
    save_gif(make_search_field(), p("so.gif"))
    save_gif(make_about(), p("about.gif"))
    make_hand_cursor(p("hand.cur"))
    make_app_icon(p("app.ico"))
    make_theme_icons(p("icons"))


if __name__ == "__main__":
    main()
