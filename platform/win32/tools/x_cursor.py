#!/usr/bin/python3
"""Test tool for the Wine end-to-end run, never shipped: compares the mouse
pointer the X server shows right now (XFixes, through ctypes: no extra
packages) with a Windows cursor file. Reads only; changes nothing on the
display.

usage: x_cursor.py CURSOR.cur [SCALE]
SCALE (a whole number, 1 by default) wants the picture with each pixel made
a SCALE x SCALE square and the hot spot in the middle of its square.
Prints the pointer's size and hot spot; exit status 0 when the pointer is the
cursor file's picture with its hot spot, 1 when it is another pointer, 2 when
the display cannot be read.
"""
import ctypes
import struct
import sys


class CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("serial", ctypes.c_ulong),
                ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def read_cursor_file(path):
    """(width, height, hot x, hot y, [(a, r, g, b)...]) of a monochrome .cur:
    AND 1 / XOR 0 is transparent, otherwise the XOR bit picks the colour."""
    with open(path, "rb") as f:
        data = f.read()
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    if kind != 2 or count < 1:
        raise ValueError("not a cursor file")
    w, h, _, _, xhot, yhot, _, offset = struct.unpack_from("<BBBBHHII", data, 6)
    w, h = w or 256, h or 256
    header_size, _, _, _, bits = struct.unpack_from("<IiiHH", data, offset)
    if bits != 1:
        raise ValueError("only monochrome cursors are read")
    palette = offset + header_size
    colours = [struct.unpack_from("<BBB", data, palette + 4 * i)[::-1] for i in range(2)]
    stride = ((w + 31) // 32) * 4
    xor_start = palette + 8
    and_start = xor_start + stride * h

    def bit(start, x, y):  # rows are stored bottom-up
        return (data[start + (h - 1 - y) * stride + x // 8] >> (7 - x % 8)) & 1

    pixels = []
    for y in range(h):
        for x in range(w):
            if bit(and_start, x, y) and not bit(xor_start, x, y):
                pixels.append((0, 0, 0, 0))
            else:
                pixels.append((255,) + colours[bit(xor_start, x, y)])
    return w, h, xhot, yhot, pixels


def enlarged(cursor, n):
    """The cursor with each pixel an n x n square."""
    w, h, xhot, yhot, pixels = cursor
    big = [pixels[(y // n) * w + x // n] for y in range(h * n) for x in range(w * n)]
    return w * n, h * n, xhot * n + n // 2, yhot * n + n // 2, big


def current_pointer():
    """(width, height, hot x, hot y, [(a, r, g, b)...]) of the shown pointer."""
    x11 = ctypes.CDLL("libX11.so.6")
    xfixes = ctypes.CDLL("libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        return None
    try:
        found = xfixes.XFixesGetCursorImage(display)
        if not found:
            return None
        image = found.contents
        # Each pixel is 32-bit ARGB held in a C long.
        pixels = [((p >> 24) & 255, (p >> 16) & 255, (p >> 8) & 255, p & 255)
                  for p in image.pixels[:image.width * image.height]]
        result = (image.width, image.height, image.xhot, image.yhot, pixels)
        x11.XFree(found)
        return result
    finally:
        x11.XCloseDisplay(display)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    shown = current_pointer()
    if shown is None:
        print("cannot read the pointer")
        return 2
    print("pointer %dx%d hotspot %d,%d" % shown[:4])
    want = read_cursor_file(sys.argv[1])
    if len(sys.argv) == 3 and int(sys.argv[2]) > 1:
        want = enlarged(want, int(sys.argv[2]))
    if shown[:4] != want[:4]:
        return 1
    for (a, r, g, b), (wa, wr, wg, wb) in zip(shown[4], want[4]):
        # Colour only matters where the pixel shows.
        if (a == 0) != (wa == 0) or (a and (r, g, b) != (wr, wg, wb)):
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
