#!/usr/bin/python3
"""A hand on a VNC server: the pointer and the keyboard of a Wayland desktop
through wayvnc, as an RFB 3.8 client without authentication that sends
PointerEvent and KeyEvent messages and reads nothing of the screen.

usage: rfb_input.py [--at X,Y] [--delay MS] PORT COMMAND...
  move X Y        the pointer to X,Y (screen pixels), no button held
  down B / up B   presses / releases button B (1 left, 2 middle, 3 right)
  click B         down B, up B
  key NAME        presses and releases a key (X keysym name: Return, Down,
                  Escape, BackSpace, a, ctrl+a, alt+F4)
  type TEXT       types TEXT (printable ASCII), one key after another
  sleep MS        waits MS milliseconds

Every message carries the pointer's place, a button press too: --at names
where the pointer is when the client connects (from a command line
before), so that a press or a key does not move it.
Every message is followed by a pause (--delay, milliseconds), so that the
compositor and the program take them as a person's, one by one, even on a
loaded machine; the server is asked nothing and its messages are drained.
Exit status 0 once every command was sent and the server still answers.
"""
import argparse
import select
import socket
import struct
import sys
import time

KEYSYMS = {
    "BackSpace": 0xFF08, "Tab": 0xFF09, "Return": 0xFF0D, "Escape": 0xFF1B,
    "Home": 0xFF50, "Left": 0xFF51, "Up": 0xFF52, "Right": 0xFF53, "Down": 0xFF54,
    "End": 0xFF57, "Delete": 0xFFFF, "space": 0x20,
    "shift": 0xFFE1, "ctrl": 0xFFE3, "alt": 0xFFE9, "super": 0xFFEB,
    **{f"F{n}": 0xFFBD + n for n in range(1, 13)},
}
# Printable ASCII that needs Shift on a US keyboard: wayvnc presses the
# key the keysym is on and leaves the level to the client, as a VNC
# client of a real keyboard would.
SHIFTED = set('~!@#$%^&*()_+{}|:"<>?') | set("ABCDEFGHIJKLMNOPQRSTUVWXYZ")
BUTTON_BITS = {1: 1, 2: 2, 3: 4}


class Rfb:
    def __init__(self, port, delay, at):
        self.delay = delay / 1000
        self.buttons = 0
        self.x, self.y = at
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        version = self.read(12)
        if not version.startswith(b"RFB 003."):
            raise SystemExit(f"not an RFB server: {version!r}")
        self.sock.sendall(b"RFB 003.008\n")
        count = self.read(1)[0]
        if count == 0:
            length = struct.unpack(">I", self.read(4))[0]
            raise SystemExit("refused: " + self.read(length).decode(errors="replace"))
        types = self.read(count)
        if 1 not in types:
            raise SystemExit(f"the server wants authentication (types {list(types)})")
        self.sock.sendall(b"\x01")
        if struct.unpack(">I", self.read(4))[0] != 0:
            raise SystemExit("security handshake failed")
        self.sock.sendall(b"\x01")  # shared: the server keeps other clients
        head = self.read(24)
        self.width, self.height = struct.unpack(">HH", head[:4])
        self.read(struct.unpack(">I", head[20:24])[0])

    def read(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise SystemExit("the server closed the connection")
            data += chunk
        return data

    def drain(self):
        # Bells and cut text, never asked for, must not fill the socket.
        while select.select([self.sock], [], [], 0)[0]:
            if not self.sock.recv(65536):
                raise SystemExit("the server closed the connection")

    def send(self, message):
        self.sock.sendall(message)
        self.drain()
        time.sleep(self.delay)

    def pointer(self):
        self.send(struct.pack(">BBHH", 5, self.buttons, self.x, self.y))

    def move(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise SystemExit(f"{x},{y} is off the {self.width}x{self.height} screen")
        self.x, self.y = x, y
        self.pointer()

    def button(self, b, down):
        bit = BUTTON_BITS[b]
        self.buttons = self.buttons | bit if down else self.buttons & ~bit
        self.pointer()

    def keysym(self, sym, down):
        self.send(struct.pack(">BBxxI", 4, 1 if down else 0, sym))

    def key(self, name):
        *mods, last = name.split("+")
        syms = [KEYSYMS[m] for m in mods]
        sym = KEYSYMS.get(last) or (ord(last) if len(last) == 1 else None)
        if sym is None:
            raise SystemExit(f"unknown key {name}")
        for s in syms:
            self.keysym(s, True)
        self.keysym(sym, True)
        self.keysym(sym, False)
        for s in reversed(syms):
            self.keysym(s, False)

    def type(self, text):
        for ch in text:
            if not " " <= ch <= "~":
                raise SystemExit(f"cannot type {ch!r}")
            if ch in SHIFTED:
                self.key("shift+" + ch)
            else:
                self.key("space" if ch == " " else ch)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--delay", type=int, default=40, help="milliseconds after each message")
    ap.add_argument("--at", type=lambda v: tuple(int(n) for n in v.split(",")), default=(0, 0),
                    help="where the pointer is, X,Y")
    ap.add_argument("port", type=int)
    ap.add_argument("commands", nargs=argparse.REMAINDER)
    a = ap.parse_args()
    rfb = Rfb(a.port, a.delay, a.at)
    args = list(a.commands)
    while args:
        cmd = args.pop(0)
        if cmd == "move":
            rfb.move(int(args.pop(0)), int(args.pop(0)))
        elif cmd in ("down", "up"):
            rfb.button(int(args.pop(0)), cmd == "down")
        elif cmd == "click":
            b = int(args.pop(0))
            rfb.button(b, True)
            rfb.button(b, False)
        elif cmd == "key":
            rfb.key(args.pop(0))
        elif cmd == "type":
            rfb.type(args.pop(0))
        elif cmd == "sleep":
            time.sleep(int(args.pop(0)) / 1000)
        else:
            raise SystemExit(f"unknown command {cmd}")
    # A round trip before the end, so nothing sent is lost with the socket:
    # the server answers a (non-incremental) update request of one pixel.
    rfb.sock.sendall(struct.pack(">BBHHHH", 3, 0, 0, 0, 1, 1))
    rfb.sock.settimeout(10)
    if not rfb.sock.recv(1):
        raise SystemExit("the server closed the connection")
    rfb.sock.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
