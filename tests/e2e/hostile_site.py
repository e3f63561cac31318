"""A stand-in for the demo site that serves hostile pages to the browser.

usage: hostile_site.py PORT LOG MODE_FILE

The page of /xiazai/2.html (the "今日更新" category) is the one named in
MODE_FILE at the time of the request; every other address is a small plain
HTML page, so a click on another category tells whether the browser still
reaches the site. Every request is appended to LOG as "GET <target>", the
target exactly as sent.
"""
import http.server
import socketserver
import sys
import time

PLAIN = b"<html><body>plain</body></html>"


def script_page(script):
    return ("<html><body>hostile<script>%s</script></body></html>" % script).encode()


def control_and_rtl():
    # Every C0 control but the ones HTML gives a meaning to, the C1 range as
    # characters, bidirectional overrides and isolates, zero-width joiners,
    # a lone surrogate's replacement and a non-character: 100 KB of them.
    pieces = [chr(c) for c in range(1, 32) if chr(c) not in "\t\n\r"]
    pieces += [chr(c) for c in range(0x80, 0xA0)]
    pieces += ["\u202e", "\u202d", "\u2066", "\u2067", "\u2068", "\u2069", "\u200f", "\u200e",
               "\u200d", "\u061c", "\ufffd", "\ufdd0", "\u05d0\u05d1", "\u0627\u0644"]
    unit = "".join(pieces).encode("utf-8", "surrogatepass")
    body = unit * (100 * 1024 // len(unit) + 1)
    return b"<html><head><title>" + unit + b"</title></head><body dir=rtl>" + body + b"</body></html>"


PAGES = {
    "alert": script_page("for (;;) alert('again');"),
    "confirm": script_page("for (;;) { if (confirm('leave?')) break; }"),
    "prompt": script_page("for (;;) { if (prompt('name?', 'x') === 'stop') break; }"),
    "busy": script_page("while (true) {}"),
    "windows": script_page(
        "for (var i = 0; i < 50; i++) window.open('http://127.0.0.1:8080/popup' + i);"),
    "print": script_page("window.print(); window.print();"),
    "permissions": script_page(
        "navigator.geolocation.getCurrentPosition(function () {}, function () {});"
        "if (window.Notification) Notification.requestPermission();"
        "if (navigator.mediaDevices) navigator.mediaDevices.getUserMedia({audio: true})"
        ".catch(function () {});"
        "if (navigator.clipboard) navigator.clipboard.readText().catch(function () {});"),
    "controls": control_and_rtl(),
    "leave": script_page(
        "window.onbeforeunload = function (e) { e.preventDefault(); e.returnValue = 'stay'; "
        "return 'stay'; };"),
}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def mode(self):
        try:
            with open(sys.argv[3]) as f:
                return f.read().strip()
        except OSError:
            return "plain"

    def do_GET(self):
        with open(sys.argv[2], "a") as log:
            log.write("GET %s\n" % self.requestline.split()[1])
        mode = self.mode() if self.path.startswith("/xiazai/2.html") else "plain"
        if self.path.startswith("/loop/"):
            mode = "redirects"
        getattr(self, "serve_" + mode, self.serve_page)(mode)

    def send_body(self, body, content_type="text/html; charset=utf-8", status=200, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def serve_page(self, mode):
        self.send_body(PAGES.get(mode, PLAIN))

    def serve_redirects(self, mode):
        # Round and round, each time to a new address, for as long as the
        # browser follows.
        n = int(self.path.rsplit("/", 1)[-1] or 0) if self.path.startswith("/loop/") else 0
        self.send_response(302)
        self.send_header("Location", "/loop/%d" % (n + 1))
        self.send_header("Content-Length", "0")
        self.end_headers()

    def serve_huge(self, mode):
        row = b"<p>" + b"film " * 40 + b"</p>\n"
        count = 30 * 1024 * 1024 // len(row)
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(row) * count + 26))
        self.end_headers()
        self.wfile.write(b"<html><body>")
        chunk = row * 1024
        for _ in range(count // 1024):
            self.wfile.write(chunk)
        self.wfile.write(row * (count % 1024))
        self.wfile.write(b"</body></html>")

    def serve_endless(self, mode):
        # Headers and a start, then a line now and then, never the end.
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", "100000000")
        self.end_headers()
        self.wfile.write(b"<html><body>endless")
        self.wfile.flush()
        while True:
            time.sleep(0.5)
            self.wfile.write(b"<p>more</p>")
            self.wfile.flush()

    def serve_login(self, mode):
        self.send_body(b"<html><body>refused</body></html>", status=401,
                       headers=[("WWW-Authenticate", 'Basic realm="kivo"')])

    def serve_png(self, mode):
        self.send_body(b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 64, "image/png")

    def serve_binary(self, mode):
        # Unsniffed: sniffed, bytes like these are a download, not a page.
        self.send_body(bytes(range(256)) * 256, "text/plain",
                       headers=[("X-Content-Type-Options", "nosniff")])

    def log_message(self, *args):
        pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server(("127.0.0.1", int(sys.argv[1])), Handler)
print("listening", flush=True)
server.serve_forever()
