#!/usr/bin/env bash
# "发送到手机" end to end: a film downloaded from the demo site, offered from
# the download window, its QR code read off a screenshot by a real decoder
# (zbarimg), and fetched by a phone stand-in over a LAN of the suite's own:
# this side (the desktop, the site and the program) in a network namespace
# of its own, the phone in a second one, joined by a veth pair that carries
# the only two addresses of that LAN. The window is read through AT-SPI.
#
# usage: linux_send_e2e.sh KIVO KIVO_SITE SOURCE_DIR
set -uo pipefail
KIVO=$1
SITE=$2
SRC=$3

if [[ -z ${KIVO_SEND_LAN:-} ]]; then
  exec unshare -n env KIVO_SEND_LAN=1 bash "$0" "$@"
fi
if [[ -z ${KIVO_A11Y_BUS:-} ]]; then
  ip link set lo up
  # shellcheck source=tests/e2e/session_bus.sh
  source "$SRC/tests/e2e/session_bus.sh"
  rerun_with_a11y_bus "$0" "$@"
fi

# A send left alone this long expires (30 minutes for users).
export KIVO_SEND_IDLE_SECONDS=20 AT_BRIDGE=1 TRAY_AT_START=1
# shellcheck source=tests/e2e/linux_desktop.sh
source "$SRC/tests/e2e/linux_desktop.sh"
# shellcheck source=tests/e2e/download_steps.sh
source "$SRC/tests/e2e/download_steps.sh"

SEND="发送到手机 - $CAPTION"
send_window() { dialog "$SEND"; }
send_up() { [[ -n $(send_window) ]]; }
send_probe() { "$PY" "$SRC/tests/e2e/atspi_probe.py" "$SEND" "$@"; }
# The texts the window shows, one a line, as a screen reader reads them.
send_texts() { send_probe tree 2>/dev/null | grep -o "'[^']*'" | tr -d "'"; }
send_says() { send_texts | grep -qF "$1"; }
# code_text: the QR code in a screenshot of the send window, decoded.
code_text() {
  local w
  w=$(send_window)
  [[ -n $w ]] || return 1
  eval "$(xdotool getwindowgeometry --shell "$w")"
  import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" "png:$work/send.png" &&
    zbarimg --raw -q "$work/send.png" 2>/dev/null | head -1
}
# status URL [curl options]: the HTTP status the phone gets.
status() { phone curl -s -o /dev/null -w '%{http_code}' --max-time 20 "$@"; }
refused() { phone curl -s -o /dev/null --max-time 5 "$1"; (($? == 7)); }

# --- a film, downloaded --------------------------------------------------------------
check "a film page is one click from the ranking" open_film
film_id=$film
check "its download link asks where to save it" click_download
answer_folder "$dl/"
film_file() { find "$dl" -maxdepth 1 -type f ! -name '*.part*' | head -1; }
check "the film arrives" wait_for 60 eval '[[ -n $(film_file) ]] && no_partials'
film=$(film_file)
film_name=$(basename "$film")
rss() { awk '/^VmRSS/ {print $2 " kB"}' "/proc/$kivo_pid/status"; }
rss_before=$(rss)
check "the finished download offers 发送到手机" wait_for 10 done_buttons

# --- no local network yet: nothing to serve, and the window says why -----------
click_row_button 3
check "without a local network, 发送到手机 says so" wait_for 10 send_says "没有找到局域网连接"
check "  and serves nothing" eval '! ss -ltnp | grep -q "pid=$kivo_pid,"'
wmctrl -c "$SEND"
wait_for 10 eval '! send_up'

# make_lan: this side 192.168.77.1, the phone 192.168.77.2 in a namespace of
# its own, this side's default route through it.
PC=192.168.77.1
PHONE=192.168.77.2
make_lan() {
  unshare -n sleep 600 &
  phone_ns=$!
  # The phone's namespace is there once its process has left ours.
  for _ in {1..100}; do
    [[ $(readlink "/proc/$phone_ns/ns/net") != "$(readlink /proc/self/ns/net)" ]] && break
    sleep 0.05
  done
  ip link add kivo-lan type veth peer name kivo-phone netns "$phone_ns" &&
    ip addr add "$PC/24" dev kivo-lan && ip link set kivo-lan up &&
    ip route add default via "$PHONE" dev kivo-lan || return 1
  pids+=("$phone_ns")
  in_phone=(nsenter -t "$phone_ns" -n)
  phone ip link set lo up && phone ip addr add "$PHONE/24" dev kivo-phone &&
    phone ip link set kivo-phone up
}
# Not for a background job: its $! would be a subshell's, not the program's.
phone() { "${in_phone[@]}" "$@"; }
make_lan || { echo "cannot make the test LAN"; exit 1; }

# --- the send window ------------------------------------------------------------------
click_row_button 3
check "发送到手机 opens the send window" wait_for 10 send_up
check "  above the main window" above_main "$(send_window)"
check "  naming the film" wait_for 10 send_says "$film_name"
rss_open=$(rss)
url=$(wait_for 10 code_text >/dev/null && code_text)
cp "$work/send.png" "$work/send-window.png"
echo "decoded: $url"
check "its QR code decodes to an address on the LAN" \
  eval '[[ $url =~ ^http://192\.168\.77\.1:[0-9]+/[A-Za-z0-9_-]{22,}/$ ]]'
check "  the address the window shows" send_says "$url"
check "  with the line that tells what to do" send_says "用手机扫描二维码下载（手机和电脑需连接同一网络）"

# --- the phone fetches it ----------------------------------------------------------------
phone curl -s --max-time 20 -o "$work/page.html" "$url"
check "the address is a page naming the film" grep -qF "$film_name" "$work/page.html"
origin=${url%/*/}
token=${url#"$origin/"}
token=${token%/}
link=$(grep -o 'href="/[^"]*"' "$work/page.html" | head -1 | cut -d'"' -f2)
file_url=$origin$link
phone curl -s --max-time 60 -D "$work/film.headers" -o "$work/phone.mp4" "$file_url"
check "  whose link gives the phone the film byte for byte" cmp "$film" "$work/phone.mp4"
check "  under its own name" eval '[[ $(disposition_name "$work/film.headers") == "$film_name" ]]'
check "  as a video that can be resumed" grep -qi '^accept-ranges: bytes' "$work/film.headers"
phone curl -s --max-time 20 -r 100000- -o "$work/tail.mp4" "$file_url"
# Figures, printed and not judged: the phone's rate from the sender and from
# the demo site on the same LAN (the same film, 30 fetches each), and the
# program's memory before the send, with the send idle, and serving.
"$SITE" --host "$PC" --port 8081 --log "$work/lan-site.log" >"$work/lan-site.out" 2>&1 &
pids+=($!)
wait_for 10 grep -q listening "$work/lan-site.out"
rate() {
  phone bash -c 'for _ in $(seq 30); do curl -s -o /dev/null -w "%{size_download} %{time_total}\n" "$1"; done' _ "$1" |
    awk '{ b += $1; t += $2 } END { printf "%.1f MB/s", b / t / 1e6 }'
}
echo "phone-side rate: the sender $(rate "$file_url"), the demo site $(rate "http://$PC:8081/download/$film_id.mp4")"
echo "memory: $rss_before before sending, $rss_open with the send open and idle"
check "a range request resumes where it asks" cmp <(tail -c +100001 "$film") "$work/tail.mp4"
size=$(stat -c %s "$film")
check "a range past the end is refused (416)" eval '[[ $(status -r "$size-" "$file_url") == 416 ]]'

# Anything but the send's own two addresses: 404 with nothing in it.
not_found() {
  local got
  got=$(phone curl -s --path-as-is --max-time 20 -o "$work/nf.body" -w '%{http_code}' "$1")
  [[ $got == 404 ]] && ! grep -qF "$film_name" "$work/nf.body" || { echo "$1: $got"; return 1; }
}
wrong=${token:0:-1}$([[ ${token: -1} == a ]] && echo b || echo a)
check "a wrong token is not found" not_found "$origin/$wrong/"
check "  nor its file" not_found "$origin/$wrong${link#/"$token"}"
check "no token is not found" not_found "$origin/"
check "a path out of the send is not found" not_found "$origin/$token/../../../../etc/passwd"
check "another file's name is not found" not_found "$origin/$token/f/site.log"

# --- four phones at once, not five ----------------------------------------------------------
# The films are small enough to vanish into the sockets' buffers whole, so
# for this part both sides buffer little, as a phone far from the access
# point holds its transfer open for a while.
wmem=$(sysctl -n net.ipv4.tcp_wmem)
rmem=$(phone sysctl -n net.ipv4.tcp_rmem)
sysctl -qw net.ipv4.tcp_wmem="4096 8192 8192"
phone sysctl -qw net.ipv4.tcp_rmem="4096 8192 8192"
slow_phones=()
for i in 1 2 3 4; do
  "${in_phone[@]}" curl -s --limit-rate 20k --max-time 120 -o /dev/null "$file_url" &
  slow_phones+=($!)
  pids+=($!)
done
check "four phones download at once" wait_for 20 send_says "4 部手机正在下载"
echo "memory while four phones download: $(rss)"
check "  a fifth is asked to come back later (503)" \
  eval '[[ $(status "$file_url") == 503 ]]'
check "  while the page still answers" eval '[[ $(status "$url") == 200 ]]'

# --- bad input: none of it stops the phones or the window ---------------------------------
# bad REQUEST_BYTES: sent raw by the phone; prints the status line it got.
bad() {
  phone "$PY" - "$PC" "${origin##*:}" "$1" <<'PYEOF'
import socket, sys
host, port, kind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
s = socket.create_connection((host, port), timeout=20)
if kind == "long-line":
    s.sendall(b"GET /" + b"a" * (1 << 20) + b" HTTP/1.1\r\nHost: x\r\n\r\n")
elif kind == "many-headers":
    s.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n" + b"".join(b"X-%d: y\r\n" % i for i in range(10000)) + b"\r\n")
try:
    print(s.recv(100).split(b"\r\n")[0].decode(errors="replace"))
except OSError as e:
    print("closed:", e)
PYEOF
}
echo "a 1 MiB request line: $(bad long-line)"
echo "10,000 headers: $(bad many-headers)"
# A head trickled a byte a second, and a phone that stops reading mid-file.
"${in_phone[@]}" "$PY" -c '
import socket, sys, time
s = socket.create_connection((sys.argv[1], int(sys.argv[2])))
for b in b"GET / HTTP/1.1\r\nHost: x\r\n":
    s.send(bytes([b])); time.sleep(1)' "$PC" "${origin##*:}" >/dev/null 2>&1 &
trickler=$!
pids+=($trickler)
"${in_phone[@]}" "$PY" -c '
import socket, sys, time
s = socket.create_connection((sys.argv[1], int(sys.argv[2])))
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % sys.argv[3]).encode())
s.recv(1000); time.sleep(60)' "$PC" "${origin##*:}" "$link" >/dev/null 2>&1 &
staller=$!
pids+=($staller)
for p in "${slow_phones[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
sysctl -qw net.ipv4.tcp_wmem="$wmem"
phone sysctl -qw net.ipv4.tcp_rmem="$rmem"
# Once the server has seen the four go (their slots free as their writes fail).
whole_again() { phone curl -s --max-time 60 -o "$work/phone2.mp4" "$file_url" && cmp -s "$film" "$work/phone2.mp4"; }
check "after all that a phone still gets the film whole" wait_for 30 whole_again
check "  and the program runs on" kill -0 "$kivo_pid"
check "the window counts what the phones fetched" send_says "已发送"
shot send-serving
kill "$trickler" "$staller" 2>/dev/null
wait "$trickler" "$staller" 2>/dev/null

# --- expiry, closing, a second send, and the exit --------------------------------------------
check "left alone, the send expires and the window says so" wait_for 40 send_says "发送已过期"
check "  and its address is not found" not_found "$url"
wmctrl -c "$SEND"
check "closing the window" wait_for 10 eval '! send_up'
check "  stops the sender (connection refused)" wait_for 10 refused "$url"
click_row_button 3
check "a second send opens" wait_for 10 send_up
url2=$(wait_for 10 code_text >/dev/null && code_text)
check "  with a new address" eval '[[ -n $url2 && $url2 != "$url" ]]'
check "  which answers" eval '[[ $(status "$url2") == 200 ]]'
# The sender started again, maybe on another port: the old address is
# refused there or not found.
check "  and the old address does not" eval 'refused "$url" || not_found "$url"'
file_url2=${url2%/}${link#/"$token"}
check "  serving the film" eval '[[ $(status -r 0-99 "$file_url2") == 206 ]]'
rm -f "$film"
check "the film removed on disk: the phone gets an error" \
  eval '[[ $(status "$file_url2") =~ ^(410|500)$ ]]'
check "  and the window says so" wait_for 10 send_says "文件已被删除或更改"
tray_menu Down Down Down Down Return
check "退出软件 ends the program" wait_for 15 eval '! kill -0 "$kivo_pid" 2>/dev/null'
check "  and the sender with it" refused "$url2"
check "nothing on the way was a toolkit warning or critical" \
  not grep -E 'CRITICAL|WARNING \*\*' "$work/kivo.log"

echo "$passed passed, $failed failed"
((failed == 0))
