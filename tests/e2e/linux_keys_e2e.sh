#!/usr/bin/env bash
# End-to-end test of the Linux program's keyboard and of its own error pages,
# on the shared desktop (linux_desktop.sh): keys typed with xdotool into the
# page, the search field and a page's text field; requests read from the
# site log; pages told apart by screenshots. The error pages are reached by
# stopping the site, and with a stand-in for the site that answers 404 or
# answers slowly.
#
# usage: linux_keys_e2e.sh KIVO KIVO_SITE SOURCE_DIR
set -uo pipefail
KIVO=$1
SITE=$2
SRC=$3
# shellcheck source=tests/e2e/linux_desktop.sh
source "$SRC/tests/e2e/linux_desktop.sh"
# shellcheck source=tests/e2e/page_looks.sh
source "$SRC/tests/e2e/page_looks.sh"

BLANK_X=860 BLANK_Y=640 # a spot of every page where no link lies

keys() { xdotool key --delay 60 "$@"; }
typed() { xdotool type --delay 60 "$1"; }
count() { grep -cxF "GET $1 200" "$log"; }
more_of() { (($(count "$1") > $2)); }
lines() { wc -l <"$log"; }
not() { ! "$@"; }
into_page() { click_at "$BLANK_X" "$BLANK_Y"; }
site_up() { (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; }
stop_site() {
  kill "$site_pid"
  wait "$site_pid" 2>/dev/null
  wait_for 10 not site_up
}

check "home page requested at start" wait_for 30 logged //xiazai/
settled_page page-home
click_category 3
wait_for 10 logged /xiazai/2.html
settled_page page-2 page-home
click_category 4
wait_for 10 logged /xiazai/3.html
check "two pages that look different" settled_page page-3 page-2

# --- history and reload, with the focus in the page --------------------------
into_page
keys alt+Left
check "Alt+Left in the page goes back a page" page_is page-2
keys alt+Right
check "Alt+Right in the page goes forward again" page_is page-3
before=$(count /xiazai/3.html)
keys F5
check "F5 asks the site for the page again" wait_for 10 more_of /xiazai/3.html "$before"
before=$(count /xiazai/3.html)
keys ctrl+r
check "Ctrl+R asks the site for the page again" wait_for 10 more_of /xiazai/3.html "$before"
page_is page-3 >/dev/null
into_page
keys BackSpace
check "Backspace in the page goes back" page_is page-2
keys alt+Right
page_is page-3 >/dev/null
click_category 2
wait_for 10 more_of /xiazai/ 0
settled_page page-home2 page-3

# --- Backspace where text is typed --------------------------------------------
geometry
xdotool mousemove --sync $((X + 400)) $((Y + 50)) click 1
keys ctrl+a BackSpace
typed kb
keys BackSpace
sleep 1 # a Backspace taken for going back would show the page before by now
check "Backspace in the search field does not go back" page_is page-home2
keys Return
check "  it deleted in the field, and Enter searches what is left" \
  wait_for 10 logged '/e/search/?searchget=1&keyboard=k&show=title'
click_at 720 50 # 求片专区: the guestbook, whose page has text fields
check "the guestbook page loads" wait_for 10 logged '/e/tool/gbook/?bid=1'
settled_page page-gbook page-home
# The page's own search field, at the top of every page of the site.
requests=$(lines)
click_at 700 113
typed ab
keys BackSpace
sleep 1 # a Backspace taken for going back would be asking for a page by now
check "Backspace in a page's text field asks for nothing" test "$(lines)" -eq "$requests"
# Below the field and its caret.
page_below_field_is() { PAGE_TOP=150 page_is "$1"; }
check "  and the page stays" page_below_field_is page-gbook
keys Return
check "  it deleted in the field: the page's search sends what is left" \
  wait_for 10 grep -qE '^GET /e/search/\?(.*&)?keyboard=a(&| )' "$log"
# Tab leaves the page by the window's tab order (the browser, then the
# first category button): Backspace then goes back instead of deleting.
settled_page page-results page-gbook
click_at 700 113
typed x
keys Tab BackSpace
check "Tab from a page's field moves on in the window's order, out of the page" \
  page_below_field_is page-gbook

# --- Ctrl+F --------------------------------------------------------------------
into_page
keys ctrl+f
typed zq
keys Return
check "Ctrl+F in the page, typing and Enter search for what was typed alone" \
  wait_for 10 logged '/e/search/?searchget=1&keyboard=zq&show=title'
click_category 5
wait_for 10 logged /xiazais/index.html
keys ctrl+f
typed wv
keys Return
check "Ctrl+F with the focus in no field does the same" \
  wait_for 10 logged '/e/search/?searchget=1&keyboard=wv&show=title'

# --- our page when the site cannot be reached ----------------------------------
settled_page page-5
stop_site
click_category 6
check "with the site down a category shows our page" shows_ours error-down
read -r rx ry <"$work/retry-at"
echo "     retry button at $rx,$ry"
check "  and the frame still answers: another category" eval 'click_category 7 && shows_ours error-down-7'
keys alt+Left
check "  Alt+Left from our page goes back to the failed category's page" shows_ours error-back
keys alt+Left
check "  and once more to the last page that loaded" page_is page-5
start_site
check "the site runs again" wait_for 10 site_up
keys alt+Right
check "forward to the failed address tries it again" wait_for 15 logged /tv/
keys alt+Right
wait_for 15 logged /animation/
stop_site
keys F5
check "F5 with the site down shows our page" shows_ours error-reload
read -r rx ry <"$work/retry-at"
start_site
wait_for 10 site_up
before=$(count /animation/)
click_at "$rx" "$ry"
check "重试 brings the category page once the site is back" wait_for 15 more_of /animation/ "$before"
gone_ours() { shot retried && not ours_in retried; }
check "  and our page is gone" wait_for 10 gone_ours

# --- a stand-in for the site: an error status, and a page that never comes -----
stop_site
cat >"$work/stand_in.py" <<'PYEOF'
"""A stand-in for the demo site: /mtv/ answers 404 with a page of its own,
/arts/ never answers until the browser gives up the connection, which it
writes to LOG as CLOSED /arts/; everything else is a plain page.

usage: stand_in.py PORT LOG
"""
import http.server
import select
import socket
import sys
import time

NOT_FOUND = b"<html><body style='background:#f0f'>the site's own 404</body></html>"
PLAIN = b"<html><body>plain</body></html>"


def log(line):
    with open(sys.argv[2], "a") as f:
        f.write(line + "\n")


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        # As sent: the server's own path folds a leading "//".
        log("GET %s" % self.requestline.split()[1])
        if self.path.startswith("/arts/"):
            deadline = time.time() + 30
            while time.time() < deadline:
                ready, _, _ = select.select([self.connection], [], [], 0.2)
                if ready and not self.connection.recv(1, socket.MSG_PEEK):
                    log("CLOSED %s" % self.path)
                    return
            body = PLAIN
        else:
            body = NOT_FOUND if self.path.startswith("/mtv/") else PLAIN
        self.send_response(404 if body is NOT_FOUND else 200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler)
print("listening", flush=True)
server.serve_forever()
PYEOF
slog=$work/stand-in.log
: >"$slog"
"$PY" "$work/stand_in.py" 8080 "$slog" >"$work/stand-in.out" 2>&1 &
pids+=($!)
wait_for 10 grep -q listening "$work/stand-in.out"
slogged() { grep -qxF "$1" "$slog"; }
click_category 8
check "a 404 answer shows our page, not the site's" \
  eval 'wait_for 10 slogged "GET /mtv/" && shows_ours error-404'
# The page's menu is ours on our page too: its fourth item, 主页, asks for
# //xiazai, which no item of the engine's own menu does.
geometry
xdotool mousemove --sync $((X + 600)) $((Y + 500)) click 3
wait_for 20 menu_open && keys Down Down Down Down Return
check "the page's menu on our page is ours: 主页 asks for //xiazai" wait_for 10 slogged "GET //xiazai"
click_category 10
wait_for 10 slogged "GET /drama/"
settled_page page-plain error-404
click_category 9
wait_for 10 slogged "GET /arts/"
sleep 0.5
keys Escape
check "Escape while a page is loading gives the connection up" wait_for 10 slogged "CLOSED /arts/"
check "  and the last page stays, no error page" page_is page-plain

kill -TERM "$kivo_pid"
check "the program still ends cleanly" wait_for 15 not kill -0 "$kivo_pid"
check "  and nothing on the way was a toolkit warning or critical" \
  not grep -E 'CRITICAL|WARNING \*\*' "$work/kivo.log"

echo "site log: $(lines) requests"
echo "$passed passed, $failed failed"
((failed == 0))
