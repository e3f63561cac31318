#!/usr/bin/python3
"""Checks the committed skin art against what the frame code assumes, and
the icons installed into the desktop's icon theme (icons/kivo-N.png).

The frame slices 101.bmp into stretchable pieces, picks caption button looks
out of 102.bmp by fixed offsets, blits category bars out of 103-105 by cell
index and paints the logo straight onto the title band, so sizes, offsets,
palette counts and a handful of exact colours are load-bearing.  The binary
files are parsed here with struct rather than trusted to a library, because
a loader that "helpfully" converts them would hide exactly the faults that
matter (wrong bit depth, wrong palette size, top-down rows).

Exit status 0 when everything passes; the last line is "N passed, N failed".
"""

import filecmp
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
ART = os.path.join(ROOT, "frame", "art")
GENERATOR = os.path.join(ART, "make_art.py")
ART_FILES = ["101.bmp", "102.bmp", "103.bmp", "104.bmp", "105.bmp",
             "106.bmp", "logo.bmp", "so.gif", "about.gif", "hand.cur",
             "app.ico"]
THEME_ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
THEME_ICONS = ["icons/kivo-%d.png" % n for n in THEME_ICON_SIZES]

TOP_OUTLINE = (21, 163, 207)
SIDE_OUTLINE = (36, 149, 207)
BODY = (118, 207, 233)
CELL_W, CELL_H, CELLS = 130, 39, 12

passed = 0
failed = 0


def check(name, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print("FAIL: %s%s" % (name, (": " + detail) if detail else ""))
    return ok


def art(name):
    return os.path.join(ART, name)


# ------------------------------------------------------------------ parsers

class Bmp:
    def __init__(self, path):
        self.data = d = open(path, "rb").read()
        (self.magic, self.bf_size, _, _, self.off) = struct.unpack_from(
            "<2sIHHI", d, 0)
        (self.bi_size, self.w, self.h, self.planes, self.bpp, self.comp,
         _, _, _, self.clr_used, _) = struct.unpack_from("<IiiHHIIiiII", d, 14)
        if self.bpp <= 8:
            self.entries = self.clr_used or (1 << self.bpp)
        else:
            self.entries = self.clr_used
        self.palette = [tuple(d[54 + 4 * i + j] for j in (2, 1, 0))
                        for i in range(self.entries)]
        self.stride = (self.w * self.bpp // 8 + 3) & ~3

    def px(self, x, y):
        """RGB (8-bit) or RGBA (32-bit) at (x, y), y counted from the top."""
        row = self.off + (self.h - 1 - y) * self.stride
        if self.bpp == 8:
            return self.palette[self.data[row + x]]
        b, g, r, a = self.data[row + 4 * x: row + 4 * x + 4]
        return (r, g, b, a)

    def rgb(self, x, y):
        return self.px(x, y)[:3]

    def region(self, x0, y0, x1, y1):
        return tuple(self.rgb(x, y) for y in range(y0, y1) for x in range(x0, x1))


def icon_dir(path):
    d = open(path, "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", d, 0)
    entries = []
    for i in range(count):
        w, h, ncol, res, f1, f2, size, off = struct.unpack_from(
            "<BBBBHHII", d, 6 + 16 * i)
        hdr = struct.unpack_from("<IiiHHIIiiII", d, off) if off + 40 <= len(d) \
            else None
        entries.append(dict(w=w or 256, h=h or 256, ncol=ncol, f1=f1, f2=f2,
                            size=size, off=off, hdr=hdr))
    return d, reserved, kind, entries


class IconImage:
    """One DIB inside an .ico/.cur, with its XOR colours and AND mask."""

    def __init__(self, data, e):
        self.d = data
        bi_size, self.w, h2, self.planes, self.bpp = e["hdr"][:5]
        clr_used = e["hdr"][9]
        self.h = h2 // 2
        self.h2 = h2
        self.entries = (clr_used or (1 << self.bpp)) if self.bpp <= 8 else 0
        self.pal_off = e["off"] + bi_size
        self.xor_off = self.pal_off + 4 * self.entries
        self.xor_stride = (self.w * self.bpp // 8 + 3) & ~3
        self.and_off = self.xor_off + self.xor_stride * self.h
        self.and_stride = ((self.w + 31) // 32) * 4
        self.end = self.and_off + self.and_stride * self.h

    def clear(self, x, y):
        b = self.d[self.and_off + (self.h - 1 - y) * self.and_stride + x // 8]
        return bool(b & (0x80 >> (x % 8)))

    def xor(self, x, y):
        row = self.xor_off + (self.h - 1 - y) * self.xor_stride
        if self.bpp == 32:
            b, g, r, a = self.d[row + 4 * x: row + 4 * x + 4]
            return (r, g, b, a)
        if self.bpp == 8:
            i = self.d[row + x]
        else:
            i = (self.d[row + x // 8] >> (7 - x % 8)) & 1
        p = self.pal_off + 4 * i
        return (self.d[p + 2], self.d[p + 1], self.d[p], 255)


def white(c, floor=245):
    return min(c[:3]) >= floor


def luma(pixels):
    return sum(0.299 * r + 0.587 * g + 0.114 * b for r, g, b in pixels) / len(pixels)


# ------------------------------------------------------------------ checks

def check_regenerates():
    """The committed files must be exactly what the generator draws now, so
    nobody hand-edits a bitmap that the next regeneration silently reverts,
    and the generator must not leak timestamps or other run-to-run noise."""
    with tempfile.TemporaryDirectory() as tmp:
        r = subprocess.run([sys.executable, GENERATOR, "--out", tmp],
                           capture_output=True, text=True)
        if not check("generator runs", r.returncode == 0, r.stderr.strip()):
            return
        for name in ART_FILES + THEME_ICONS:
            ok = os.path.exists(art(name)) and filecmp.cmp(
                art(name), os.path.join(tmp, name), shallow=False)
            check("%s matches a fresh generator run" % name, ok)


BMP_FORMATS = [
    # name, width, height, bits, palette entries
    ("101.bmp", 15, 100, 8, 256),
    ("102.bmp", 64, 38, 8, 64),
    ("103.bmp", 130, 468, 32, 0),
    ("104.bmp", 130, 468, 32, 0),
    ("105.bmp", 130, 468, 32, 0),
    ("106.bmp", 216, 28, 32, 0),
    ("logo.bmp", 180, 81, 32, 0),
]


def check_bmp_formats():
    bmps = {}
    for name, w, h, bpp, entries in BMP_FORMATS:
        try:
            b = Bmp(art(name))
        except (OSError, struct.error) as e:
            check(name + " readable", False, str(e))
            continue
        expect_off = 14 + 40 + 4 * entries
        expect_len = expect_off + b.stride * abs(b.h)
        rows = [
            ("magic", b.magic, b"BM"),
            ("size", (b.w, b.h), (w, h)),
            ("bit depth", b.bpp, bpp),
            ("palette entries", b.entries, entries),
            ("info header size", b.bi_size, 40),
            ("planes", b.planes, 1),
            ("compression BI_RGB", b.comp, 0),
            ("pixel data offset", b.off, expect_off),
            ("bfSize", b.bf_size, len(b.data)),
            ("file length", len(b.data), expect_len),
        ]
        ok = True
        for what, got, want in rows:
            ok &= check("%s %s" % (name, what), got == want,
                        "got %r, want %r" % (got, want))
        if ok:
            bmps[name] = b
    return bmps


def check_skin(s):
    mid_rows = range(0, 85)
    rows = [
        ("top outline on row 0 of the middle",
         all(s.rgb(x, 0) == TOP_OUTLINE for x in range(5, 10))),
        ("band sides outlined",
         all(s.rgb(x, y) == TOP_OUTLINE for x in (0, 14) for y in range(2, 85))),
        ("band ends on body colour at row 84",
         all(s.rgb(x, 84) == BODY for x in range(5, 10))),
        ("band middle is a gradient",
         len({s.rgb(5, y) for y in range(1, 85)}) >= 20),
        ("band lighter at the top than at its deepest blue",
         luma([s.rgb(5, 1)]) > min(luma([s.rgb(5, y)]) for y in mid_rows) + 40),
        ("top corners rounded",
         s.rgb(0, 0) != TOP_OUTLINE and s.rgb(14, 0) != TOP_OUTLINE),
        ("side border outline at x 0 and x 14",
         all(s.rgb(x, y) == SIDE_OUTLINE for x in (0, 14) for y in range(85, 95))),
        ("side border body colour inside",
         all(s.rgb(x, y) == BODY for x in range(1, 14) for y in range(85, 95))),
        ("bottom edge keeps the side outline",
         all(s.rgb(x, y) == SIDE_OUTLINE for x in (0, 14) for y in range(95, 98))),
        ("bottom outline on row 99",
         all(s.rgb(x, 99) == SIDE_OUTLINE for x in range(2, 13))),
        ("bottom corners rounded",
         s.rgb(0, 99) != SIDE_OUTLINE and s.rgb(14, 99) != SIDE_OUTLINE),
        # Stretchable pieces: any variation along the stretch direction would
        # smear into visible streaks once the window is resized.
        ("band middle columns 5..9 uniform per row",
         all(len({s.rgb(x, y) for x in range(5, 10)}) == 1 for y in mid_rows)),
        ("side border rows 85..94 identical",
         all(s.region(0, y, 15, y + 1) == s.region(0, 85, 15, 86)
             for y in range(86, 95))),
        ("bottom middle columns 6..11 uniform per row",
         all(len({s.rgb(x, y) for x in range(6, 12)}) == 1
             for y in range(95, 100))),
    ]
    for what, ok in rows:
        check("101 " + what, ok)


def check_caption(c, skin):
    div = c.rgb(26, 0)
    bg_cols = [1, 2, 60, 62]          # clear of both glyphs
    looks = {"minimize": (0, 26), "close": (27, 64)}
    rows = [
        ("divider at x 26 runs the full height",
         all(c.rgb(26, y) == div for y in range(38))),
        ("divider at y 18 runs the full width",
         all(c.rgb(x, 18) == div for x in range(64))),
        ("divider stands out from the buttons",
         sum(c.rgb(25, y) != div and c.rgb(27, y) != div
             for y in range(38)) >= 30),
        ("normal look sits on the title band colours",
         skin is None or all(c.rgb(x, y) == skin.rgb(5, y)
                             for x in bg_cols for y in range(18))),
    ]
    for name, (x0, x1) in looks.items():
        normal = c.region(x0, 0, x1, 18)
        hover = c.region(x0, 19, x1, 37)
        rows += [
            ("%s hover differs from normal" % name, normal != hover),
            ("%s hover background differs" % name,
             c.rgb(x0 + 2, 9) != c.rgb(x0 + 2, 28)),
            ("%s has a white glyph in both looks" % name,
             any(white(p) for p in normal) and any(white(p) for p in hover)),
        ]
    rows.append(("minimize and close glyphs differ",
                 c.region(0, 0, 26, 18) != c.region(27, 0, 53, 18)))
    for what, ok in rows:
        check("102 " + what, ok)


def check_bars(bars):
    names = ["103.bmp", "104.bmp", "105.bmp"]
    labels, glyphs, backs = {}, {}, {}
    for name in names:
        b = bars.get(name)
        if b is None:
            continue
        labels[name], glyphs[name], backs[name] = [], [], []
        for k in range(CELLS):
            top = k * CELL_H
            label = b.region(38, top, CELL_W, top + CELL_H)
            glyph = b.region(4, top, 36, top + CELL_H)
            labels[name].append(label)
            glyphs[name].append(glyph)
            backs[name].append([b.rgb(x, top + y) for x in (124, 127)
                                for y in range(2, CELL_H - 2)])
            check("%s cell %d has a white label" % (name, k),
                  sum(white(p) for p in label) >= 20)
            check("%s cell %d has a white glyph" % (name, k),
                  sum(white(p) for p in glyph) >= 20)
        lab = labels[name]
        check("%s every cell has its own label" % name,
              len(set(lab)) == CELLS)
        # The last three share the film reel; the rest each have their own.
        check("%s glyphs differ between categories" % name,
              len(set(glyphs[name][:10])) == 10)
    for i, a in enumerate(names):
        for bname in names[i + 1:]:
            if a in labels and bname in labels:
                same = [k for k in range(CELLS)
                        if labels[a][k] == labels[bname][k]
                        and glyphs[a][k] == glyphs[bname][k]]
                check("%s and %s looks differ in every cell" % (a, bname),
                      not same, "identical cells %s" % same)
    if "103.bmp" in backs and "104.bmp" in backs:
        check("104 selected look is darker than 103 normal",
              all(luma(backs["104.bmp"][k]) + 40 < luma(backs["103.bmp"][k])
                  for k in range(CELLS)))


def check_search_button(b):
    cells = [b.region(72 * i, 0, 72 * i + 72, 28) for i in range(3)]
    rows = [
        ("three cells all differ", len(set(cells)) == 3),
        ("every cell labelled in white",
         all(sum(white(p, 235) for p in c) >= 15 for c in cells)),
        ("hover lighter than normal", luma(cells[1]) > luma(cells[0])),
        ("pressed darker than normal", luma(cells[2]) < luma(cells[0])),
    ]
    for what, ok in rows:
        check("106 " + what, ok)


def check_logo(logo, skin):
    alpha = {logo.px(x, y)[3] for x in range(180) for y in range(81)}
    check("logo opaque", alpha == {255}, "alpha values %s" % sorted(alpha)[:5])
    if skin is not None:
        bad = [(x, r) for r in range(81) for x in (0, 179)
               if logo.rgb(x, r) != skin.rgb(5, r + 2)]
        check("logo background follows the title band (row r on band row r+2)",
              not bad, "first mismatches %s" % bad[:4])
    drawn = sum(logo.rgb(x, y) != logo.rgb(0, y)
                for x in range(180) for y in range(81))
    check("logo has artwork on it", drawn > 1500, "%d pixels" % drawn)
    greens = sum(g > r + 40 and g > b + 40
                 for r, g, b in (logo.rgb(x, y) for x in range(90)
                                 for y in range(81)))
    check("logo figure is green", greens > 300, "%d green pixels" % greens)


def check_gif(name, size, opaque_white_at=None):
    try:
        im = Image.open(art(name))
        im.load()
    except OSError as e:
        check(name + " readable", False, str(e))
        return None
    raw = open(art(name), "rb").read()
    check(name + " is a GIF", raw[:6] in (b"GIF87a", b"GIF89a"))
    check(name + " size", im.size == size, "got %r" % (im.size,))
    check(name + " single frame", getattr(im, "n_frames", 1) == 1)
    # A GIF can only name one transparent index, but it must name one.
    gce = raw.find(b"\x21\xf9\x04")
    check(name + " has a transparent index",
          gce >= 0 and raw[gce + 3] & 1 == 1 and "transparency" in im.info)
    if "transparency" not in im.info or im.mode != "P":
        return None
    t = im.info["transparency"]
    w, h = im.size
    corners = [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)]
    check(name + " corners transparent",
          all(im.getpixel(p) == t for p in corners))
    centre = im.getpixel((w // 2, h // 2))
    check(name + " centre opaque", centre != t)
    if opaque_white_at:
        pal = im.getpalette()
        c = tuple(pal[3 * centre: 3 * centre + 3])
        check(name + " centre white", c == (255, 255, 255), "got %r" % (c,))
    return im


def check_search_field():
    im = check_gif("so.gif", (303, 28), opaque_white_at=True)
    if im is None:
        return
    t = im.info["transparency"]
    pal = im.getpalette()
    edge = im.getpixel((151, 0))
    c = tuple(pal[3 * edge: 3 * edge + 3])
    check("so.gif top edge opaque grey-blue",
          edge != t and c != (255, 255, 255) and c[2] >= c[0], "got %r" % (c,))
    # Corners are rounded, not just a missing corner pixel.
    check("so.gif rounded corners",
          im.getpixel((1, 1)) == t and im.getpixel((6, 6)) != t)


def check_cursor():
    d, reserved, kind, entries = icon_dir(art("hand.cur"))
    rows = [("reserved", reserved, 0), ("type is cursor", kind, 2),
            ("one image", len(entries), 1)]
    if entries:
        e = entries[0]
        rows += [("size", (e["w"], e["h"]), (32, 32)),
                 ("hot spot", (e["f1"], e["f2"]), (5, 0))]
    ok = True
    for what, got, want in rows:
        ok &= check("hand.cur " + what, got == want,
                    "got %r, want %r" % (got, want))
    if not ok or e["hdr"] is None:
        return
    img = IconImage(d, e)
    rows = [("1 bpp", img.bpp, 1), ("DIB width", img.w, 32),
            ("DIB height holds XOR and AND", img.h2, 64),
            ("image fits its directory entry", img.end - e["off"], e["size"]),
            ("image inside the file", img.end <= len(d), True)]
    ok = True
    for what, got, want in rows:
        ok &= check("hand.cur " + what, got == want,
                    "got %r, want %r" % (got, want))
    if not ok:
        return
    opaque = [(x, y) for x in range(32) for y in range(32) if not img.clear(x, y)]
    colours = {img.xor(x, y)[:3] for x, y in opaque}
    check("hand.cur hot spot is on the finger tip", not img.clear(5, 0))
    check("hand.cur nothing above-left of the tip",
          all(img.clear(x, 0) for x in range(0, 4)))
    check("hand.cur white hand with black outline",
          {(0, 0, 0), (255, 255, 255)} <= colours)
    check("hand.cur transparent pixels leave the screen untouched",
          all(img.xor(x, y)[:3] == (0, 0, 0)
              for x in range(32) for y in range(32) if img.clear(x, y)))
    check("hand.cur is hand-sized", 150 <= len(opaque) <= 600,
          "%d opaque pixels" % len(opaque))


ICON_ORDER = [(16, 16, 8), (16, 16, 32), (24, 24, 8), (24, 24, 32),
              (32, 32, 8), (32, 32, 32), (48, 48, 8), (48, 48, 32),
              (256, 240, 32)]


def check_icon():
    d, reserved, kind, entries = icon_dir(art("app.ico"))
    check("app.ico reserved", reserved == 0)
    check("app.ico type is icon", kind == 1)
    got = [(e["w"], e["h"], e["f2"]) for e in entries]
    if not check("app.ico image order", got == ICON_ORDER,
                 "got %r" % got):
        return
    spans = sorted((e["off"], e["off"] + e["size"]) for e in entries)
    check("app.ico images do not overlap",
          all(a[1] <= b[0] for a, b in zip(spans, spans[1:])))
    for e, (w, h, bpp) in zip(entries, ICON_ORDER):
        tag = "app.ico %dx%d %d-bit" % (w, h, bpp)
        if not check(tag + " has a DIB header",
                     e["hdr"] is not None and e["hdr"][0] == 40):
            continue
        img = IconImage(d, e)
        rows = [("DIB size", (img.w, img.h2), (w, 2 * h)),
                ("DIB bit count", img.bpp, bpp),
                ("planes", img.planes, 1),
                ("palette", img.entries, 256 if bpp == 8 else 0),
                ("entry colour count", e["ncol"], 0),
                ("image fits its directory entry", img.end - e["off"], e["size"]),
                ("image inside the file", img.end <= len(d), True)]
        ok = True
        for what, g, want in rows:
            ok &= check("%s %s" % (tag, what), g == want,
                        "got %r, want %r" % (g, want))
        if not ok:
            continue
        corner_clear = img.clear(0, 0) and (bpp == 8 or img.xor(0, 0)[3] == 0)
        centre_solid = not img.clear(w // 2, h // 2) and (
            bpp == 8 or img.xor(w // 2, h // 2)[3] == 255)
        check(tag + " transparent background", corner_clear)
        check(tag + " figure opaque in the middle", centre_solid)
        # Masked pixels must be black (and fully transparent in 32 bits) or
        # the AND/XOR blit used on old displays tints the desktop behind.
        check(tag + " masked pixels are empty",
              all(img.xor(x, y)[:3] == (0, 0, 0)
                  and (bpp == 8 or img.xor(x, y)[3] == 0)
                  for x in range(w) for y in range(h) if img.clear(x, y)))
        solid = [img.xor(x, y) for x in range(w) for y in range(h)
                 if not img.clear(x, y)]
        greens = sum(g > r + 40 and g > b + 40 for r, g, b, _ in solid)
        check(tag + " figure is green", greens * 4 > len(solid),
              "%d of %d" % (greens, len(solid)))


def check_about():
    im = check_gif("about.gif", (80, 80))
    if im is None:
        return
    rgb = im.convert("RGB")
    t = im.info["transparency"]
    solid = [rgb.getpixel((x, y)) for x in range(80) for y in range(80)
             if im.getpixel((x, y)) != t]
    greens = sum(g > r + 40 and g > b + 40 for r, g, b in solid)
    check("about.gif green figure", greens > 1000, "%d green pixels" % greens)


def check_theme_icons():
    """The PNGs installed into the hicolor theme: the theme looks an icon up
    by the folder its size names, so a PNG of another size, or without an
    alpha channel (a square tile in the dock), is a fault a user sees."""
    for n in THEME_ICON_SIZES:
        name = "icons/kivo-%d.png" % n
        try:
            raw = open(art(name), "rb").read()
            im = Image.open(art(name))
            im.load()
        except OSError as e:
            check(name + " readable", False, str(e))
            continue
        # IHDR straight from the bytes: colour type 6 is 8-bit RGBA.
        width, height, depth, colour = struct.unpack_from(">IIBB", raw, 16)
        rows = [("is a PNG", raw[:8], b"\x89PNG\r\n\x1a\n"),
                ("size", (width, height), (n, n)),
                ("8-bit RGBA", (depth, colour), (8, 6)),
                ("no timestamp chunk", b"tIME" in raw, False)]
        ok = True
        for what, got, want in rows:
            ok &= check("%s %s" % (name, what), got == want,
                        "got %r, want %r" % (got, want))
        if not ok:
            continue
        px = im.convert("RGBA").load()
        corners = [(0, 0), (n - 1, 0), (0, n - 1), (n - 1, n - 1)]
        check(name + " transparent corners",
              all(px[p][3] == 0 for p in corners))
        check(name + " figure opaque in the middle", px[n // 2, n // 2][3] == 255)
        solid = [px[x, y] for x in range(n) for y in range(n) if px[x, y][3] >= 128]
        greens = sum(g > r + 40 and g > b + 40 for r, g, b, _ in solid)
        check(name + " figure is green", greens * 4 > len(solid),
              "%d of %d" % (greens, len(solid)))
        # The figure fills its tile: not a speck in a corner of a big icon.
        xs = [x for x in range(n) for y in range(n) if px[x, y][3] >= 128]
        ys = [y for x in range(n) for y in range(n) if px[x, y][3] >= 128]
        check(name + " figure spans the tile",
              max(xs) - min(xs) + 1 >= n * 3 // 4 and max(ys) - min(ys) + 1 >= n * 3 // 4,
              "%dx%d" % (max(xs) - min(xs) + 1, max(ys) - min(ys) + 1))
    extra = sorted(set(os.listdir(art("icons"))) - {os.path.basename(i) for i in THEME_ICONS}) \
        if os.path.isdir(art("icons")) else []
    check("no stray files among the theme icons", not extra, "%s" % extra)


def main():
    missing = [n for n in ART_FILES + THEME_ICONS if not os.path.exists(art(n))]
    check("all art files present", not missing, "missing %s" % missing)
    check_regenerates()
    bmps = check_bmp_formats()
    skin = bmps.get("101.bmp")
    if skin:
        check_skin(skin)
    if "102.bmp" in bmps:
        check_caption(bmps["102.bmp"], skin)
    check_bars(bmps)
    if "106.bmp" in bmps:
        check_search_button(bmps["106.bmp"])
    if "logo.bmp" in bmps:
        check_logo(bmps["logo.bmp"], skin)
    check_search_field()
    check_about()
    if os.path.exists(art("hand.cur")):
        check_cursor()
    if os.path.exists(art("app.ico")):
        check_icon()
    check_theme_icons()
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
