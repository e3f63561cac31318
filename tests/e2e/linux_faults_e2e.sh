#!/usr/bin/env bash
# End-to-end test of the Linux program when the world around it fails, on
# the shared desktop (linux_desktop.sh): the site dies while a page loads
# (before it answers, and in the middle of the body) and comes back; the
# site takes 10 s to answer; the tray is killed, its menu open, and started
# again; SIGTERM, SIGINT and SIGHUP come while the exit question is open,
# while the file chooser asks and while the program starts; its home is
# read-only; skin pictures are corrupt or missing; and last the display goes
# away with a download running. After each fault but the ones meant to end
# it, a category click still reaches the site.
#
# usage: linux_faults_e2e.sh KIVO KIVO_SITE SOURCE_DIR
set -uo pipefail
KIVO=$1
SITE=$2
SRC=$3
WORK_NAME=kivo-faults
# Films at a pace that keeps a download running for the faults that come
# while one runs; pages are never slowed.
SITE_ARGS=(--slow=65536)
# shellcheck source=tests/e2e/linux_desktop.sh
source "$SRC/tests/e2e/linux_desktop.sh"

KIVO_EXE=$(readlink -f "$KIVO")
# A film downloaded as a person would: no partial file of it may stay
# behind, however the program ends.
RANK=58,137,208 # the site's rank badges and download button
dl=$work/dl
mkdir -p "$dl"
partials() { find "$dl" -name '*.part*' | wc -l; }
has_partial() { (($(partials) > 0)); }
dialog() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
chooser_up() { [[ -n $(dialog 保存文件) ]]; }
rank_blue() {  # rank_blue [find_color options]: the first area of the rank blue in the page
  local area
  shot now
  geometry
  area=$("$PY" "$SRC/tests/e2e/find_color.py" "$work/now.png" "$RANK" \
    $((X + 130)) $((Y + 80)) $((X + 885)) $((Y + 670)) "$@" | awk '$4 >= 20' | head -1)
  [[ -n $area ]] && echo "$area"
}
film_chooser() {  # from the ranking to a film and its download link: the chooser asks
  local area cx cy films
  reaches_site 4 /xiazai/3.html || return 1
  area=$(wait_for 10 rank_blue && rank_blue) || { echo "no ranked film"; return 1; }
  read -r cx cy _ <<<"$area"
  films=$(grep -c '^GET /film/' "$log")
  xdotool mousemove --sync $((cx + 40)) "$cy" click 1
  wait_for 10 eval '(($(grep -c "^GET /film/" "$log") > films))' || { echo "no film page"; return 1; }
  sleep 0.5 # the film page's layout settles
  area=$(wait_for 10 rank_blue --min 200 && rank_blue --min 200) || { echo "no download button"; return 1; }
  read -r cx cy _ <<<"$area"
  xdotool mousemove --sync "$cx" "$cy" click 1
  wait_for 20 chooser_up || { echo "no chooser"; return 1; }
}
download_film() {  # a film's download, the chooser answered
  film_chooser || return 1
  # The keys go to the chooser even when a program just started has its
  # window activated late, over the chooser.
  xdotool windowactivate --sync "$(dialog 保存文件)" >/dev/null 2>&1
  xdotool key --delay 60 ctrl+a BackSpace
  xdotool type --delay 40 "$dl/film.mp4"
  xdotool key --delay 60 Return
  wait_for 20 has_partial
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }
more_logged() {  # more_logged PATH N: the site has answered PATH more than N times
  (($(grep -cxF "GET $1 200" "$log") > $2))
}
reaches_site() {  # reaches_site K PATH: a click on category K is answered by the site
  local before
  before=$(grep -cxF "GET $2 200" "$log")
  click_category "$1"
  wait_for 15 more_logged "$2" "$before"
}
start_kivo() {  # start_kivo [PROGRAM [WRAPPER...]]: a fresh first instance, its window found
  local program=${1:-$KIVO}
  shift $(($# ? 1 : 0))
  win=
  "$@" "$program" >>"$work/kivo.log" 2>&1 &
  kivo_pid=$!
  pids+=($kivo_pid)
  wait_for 30 window_found
}
descendants() {  # the processes below PID, the engine's among them
  local child
  for child in $(ps -o pid= --ppid "$1"); do
    echo "$child"
    descendants "$child"
  done
}
all_gone() {  # all_gone PID...: none of them runs any more
  local p
  for p; do kill -0 "$p" 2>/dev/null && return 1; done
  return 0
}

# A window-relative box of a screenshot against a box of one art file.
art_at() {  # art_at SHOT ART SX SY W H DX DY: the window shows ART's box at (DX, DY)
  geometry
  "$PY" -c 'import sys; from PIL import Image
shot, art = Image.open(sys.argv[1]).convert("RGB"), Image.open(sys.argv[2]).convert("RGB")
sx, sy, w, h, dx, dy = (int(v) for v in sys.argv[3:9])
bad = sum(1 for y in range(h) for x in range(w)
          if shot.getpixel((dx + x, dy + y)) != art.getpixel((sx + x, sy + y)))
print("%d of %d pixels differ from the art" % (bad, w * h)); sys.exit(1 if bad else 0)' \
    "$work/$1.png" "$SRC/frame/art/$2" "$3" "$4" "$5" "$6" $((X + $7)) $((Y + $8))
}

# The stand-in for the site, on the same port: /xiazai/2.html is never
# answered; /xiazais/index.html sends a tenth of its page and then nothing;
# /xiazai/3.html answers after 10 s with a page whose script asks for
# /late-arrived. Every request line goes to its log.
cat >"$work/fault_site.py" <<'PYEOF'
import http.server
import sys
import time

PART = b"<html><body>" + b"<p>a tenth of a page</p>" * 100
LATE = b"<html><body>late<script>fetch('/late-arrived');</script></body></html>"


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(sys.argv[2], "a") as log:
            log.write("GET %s\n" % self.path)
        if self.path.startswith("/xiazais/index.html"):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(10 * len(PART)))
            self.end_headers()
            self.wfile.write(PART)
            self.wfile.flush()
        if self.path.startswith(("/xiazai/2.html", "/xiazais/index.html")):
            time.sleep(3600)
        body = LATE if self.path.startswith("/xiazai/3.html") else b"<html><body>plain</body></html>"
        if self.path.startswith("/xiazai/3.html"):
            time.sleep(10)
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler)
server.daemon_threads = True
print("listening", flush=True)
server.serve_forever()
PYEOF
flog=$work/fault-site.log
: >"$flog"
site_up() { (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; }
stop_site() {  # stop_site [SIGNAL]: the site on 8080, whichever it is, ends
  kill "-${1:-TERM}" "$site_pid"
  wait "$site_pid" 2>/dev/null
  wait_for 10 not site_up
}
start_stand_in() {
  : >"$work/fault-site.out"
  "$PY" "$work/fault_site.py" 8080 "$flog" >"$work/fault-site.out" 2>&1 &
  site_pid=$!
  pids+=($site_pid)
  wait_for 10 grep -q listening "$work/fault-site.out"
}
flogged() { grep -qxF "GET $1" "$flog"; }

check "home page requested at start" wait_for 30 logged //xiazai/
start_tray
check "the tray starts and shows the icon" wait_for 20 tray_icon

# --- the site dies while a page loads, then comes back ---------------------------
stop_site
start_stand_in
click_category 3
check "the stand-in has the request and holds its answer" wait_for 10 flogged /xiazai/2.html
stop_site KILL
check "the site killed before it answered: the program shows its error page" shows_ours error-page
check "  and runs on" alive
start_site
retry_on_page() {
  local rx ry before
  read -r rx ry <"$work/retry-at"
  [[ $rx =~ ^[0-9]+$ && $ry =~ ^[0-9]+$ ]] || return 1
  before=$(grep -cxF "GET /xiazai/2.html 200" "$log")
  click_at "$rx" "$ry"
  wait_for 15 more_logged /xiazai/2.html "$before"
}
check "  the site back, 重试 loads the page from it" retry_on_page
# Cut off in the middle of its body, a page is what arrived of it: the
# engine reports such a load as finished, as browsers show a cut page.
stop_site
start_stand_in
click_category 5
check "a tenth of a page arrives, then the site is killed" wait_for 10 flogged /xiazais/index.html
stop_site KILL
check "  the program runs on" eval 'sleep 1 && alive'
start_site
check "  the site back, a category click reaches it" reaches_site 6 /tv/

# --- a site that answers after 10 s ---------------------------------------------
stop_site
start_stand_in
click_category 4
asked=$SECONDS
wait_for 10 flogged /xiazai/3.html
# Category 8 is neither selected nor under the pointer: hovered, it must
# take its hover look from 105.bmp at once, while the page still waits.
hover_at_once() {
  local t0 n=0 y i
  y=$(category_y 8)
  geometry
  t0=$(now_ms)
  point_at $((X + 71)) $((Y + y))
  while (($(now_ms) - t0 < 1000)); do
    shot hover-$n
    n=$((n + 1))
  done
  for ((i = 0; i < n; i++)); do
    art_at "hover-$i" 105.bmp 0 $((6 * 39)) 130 39 6 $((85 + 6 * 39)) && {
      echo "hover look in shot $i of $n, all taken within 1 s of the move"
      return 0
    }
  done
  return 1
}
check "while the page waits: hover paints the hover look within 1 s" hover_at_once
iconic() { xprop -id "$win" WM_STATE | grep -q Iconic; }
normal() { xprop -id "$win" WM_STATE | grep -q Normal; }
click_at $((888 - 70 + 13)) 9
check "  the minimize button minimizes" wait_for 5 iconic
xdotool windowactivate "$win" 2>/dev/null || wmctrl -i -a "$win"
wait_for 5 normal
geometry
x0=$X y0=$Y
xdotool mousemove --sync $((X + 250)) $((Y + 20)) mousedown 1
xdotool mousemove --sync $((X + 251)) $((Y + 21))
# Paced as a hand moves: the steps must not all arrive as one.
for i in 1 2 3 4 5; do
  sleep 0.1
  xdotool mousemove --sync $((X + 251 - 12 * i)) $((Y + 21 + 8 * i))
done
xdotool mouseup 1
moved() { geometry; [[ "$X,$Y" == "$((x0 - 60)),$((y0 + 40))" ]]; }
check "  a drag on the title band moves the window" wait_for 5 moved
click_at $((888 - 43 + 18)) 9
check "  the close button hides the window" wait_for 5 hidden
check "  all of it before the page came" eval '! flogged /late-arrived && echo "$((SECONDS - asked)) s after the click"'
click_tray 1
check "the tray icon brings it back" wait_for 10 window_found
check "  and the late page arrives when it comes" wait_for 20 flogged /late-arrived
stop_site
start_site
check "  and a category click reaches the site" reaches_site 5 /xiazais/index.html

# --- the tray killed and started again -------------------------------------------
# Killed while our menu is open from its icon.
click_tray 3
check "the tray menu opens" wait_for 10 menu_open
kill -KILL "$tray_pid"
wait "$tray_pid" 2>/dev/null
check "the tray killed: the program runs on" eval 'wait_for 10 not tray_up && alive'
xdotool key Escape
check "  the menu it had open closes" wait_for 10 menu_closed
start_tray
check "  a new tray shows the icon again" wait_for 20 tray_icon
click_tray 1
check "  and its click hides the window" wait_for 10 hidden
tray_menu Down Return
check "  its menu's 显示窗口 shows it" wait_for 10 window_found
check "  and a category click reaches the site" reaches_site 9 /arts/

# --- the end on a signal ---------------------------------------------------------
# Each signal ends the program cleanly and takes its icon along; what the
# program held (its lock, its socket) never stops the next start from
# being the first instance, with a window of its own. The exit asks first
# while a download runs: SIGTERM and SIGINT come while it asks, over the
# shown window and with the window hidden.
question_up() {  # a shown window of that caption that is not the main one
  xdotool search --onlyvisible --name "^$CAPTION\$" 2>/dev/null | grep -qvx "$win"
}
criticals_before=$(grep -c CRITICAL "$work/kivo.log")
# A program that outlived its signal would take every later start's place.
end_survivor() { alive && kill -KILL "$kivo_pid" && wait "$kivo_pid" 2>/dev/null; }
ends_on() {  # ends_on SIGNAL: the program ends with status 0, its icon gone, a new start first
  kill "-$1" "$kivo_pid"
  check "SIG$1 ends the program with status 0" ended_with 0
  end_survivor
  check "  its icon leaves the tray" wait_for 10 tray_without_icon
  check "  and no partial file stays behind" eval '(($(partials) == 0)) || ls -la "$dl"'
  start_kivo
  check "  the next start is the first instance, with a window" eval '[[ -n $win ]] && alive'
}
check "a film's download runs into its partial file" download_film
tray_menu Down Down Down Down Return
check "退出软件 asks first while a download runs" wait_for 10 question_up
ends_on TERM
check "a download again, the window hidden" eval 'download_film && click_tray 1 && wait_for 10 hidden'
tray_menu Down Down Down Down Return
check "  退出软件 asks" wait_for 10 question_up
ends_on INT
check "a download asks where to save it" film_chooser
ends_on HUP
# A signal as soon as the program has taken its end signals over: from
# then on, however far its start has got, the signal is a clean end.
catches_end() {  # SIGHUP (1), SIGINT (2) and SIGTERM (15) are all caught by the process
  local mask
  mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$kivo_pid/status" 2>/dev/null) || return 1
  [[ -n $mask ]] && (((16#$mask & 0x4003) == 0x4003))
}
kill -TERM "$kivo_pid"
ended_with 0 >/dev/null
for signal in TERM INT HUP; do
  "$KIVO" >>"$work/kivo.log" 2>&1 &
  kivo_pid=$!
  pids+=($kivo_pid)
  for ((i = 0; i < 1000; i++)); do
    catches_end && break
    sleep 0.01
  done
  kill "-$signal" "$kivo_pid"
  check "SIG$signal while the program starts ends it with status 0" ended_with 0
  end_survivor
done
start_kivo
check "  whose icon shows in the tray" wait_for 20 tray_icon
check "  and a category click reaches the site" reaches_site 7 /animation/
check "no toolkit critical on the way" eval '(($(grep -c CRITICAL "$work/kivo.log") == criticals_before))'

# --- a read-only home -------------------------------------------------------------
# The whole home, the cache, data and configuration folders in it, mounted
# read-only for the program alone: root would write through mere modes.
kill -TERM "$kivo_pid"
ended_with 0 >/dev/null
ro=$work/ro-home
mkdir -p "$ro/.cache" "$ro/.local/share" "$ro/.config"
cat >"$work/ro-kivo" <<EOF
#!/bin/sh
export HOME=$ro XDG_CACHE_HOME=$ro/.cache XDG_DATA_HOME=$ro/.local/share XDG_CONFIG_HOME=$ro/.config
exec unshare --mount -- sh -c 'mount --bind "\$0" "\$0" && mount -o remount,bind,ro "\$0" && exec "\$1"' "$ro" "$KIVO"
EOF
chmod +x "$work/ro-kivo"
ro_log_from=$(wc -l <"$work/kivo.log")
homes=$(grep -cxF "GET //xiazai/ 200" "$log")
start_kivo "$work/ro-kivo"
check "read-only home: the program starts with its window" test -n "$win"
check "  its home page is asked for" wait_for 30 more_logged //xiazai/ "$homes"
check "  and a category click reaches the site" reaches_site 8 /mtv/
check "  the home really was read-only to it" \
  eval '! ls -A "$ro/.cache" "$ro/.local/share" "$ro/.config" | grep -v "^/\|^$\|:$" | grep -q .'
tail -n +$((ro_log_from + 1)) "$work/kivo.log" >"$work/ro.log"
check "  what it says is no crash and no flood" eval '
  ! grep -E "CRITICAL|Segmentation|Aborted|sanitizer" "$work/ro.log" && (($(wc -l <"$work/ro.log") < 20))'
kill -TERM "$kivo_pid"
check "  SIGTERM ends it with status 0" ended_with 0

# --- a corrupt skin ----------------------------------------------------------------
# The art is bundled into the program verbatim: a copy of the program with
# the search button's picture turned to noise, the normal category strip's
# header pointing past its end and the caption buttons' picture renamed out
# of reach. Those buttons come up blank; the rest of the frame is the
# art's, and the blank buttons still work.
cat >"$work/spoil.py" <<'PYEOF'
import struct
import sys

exe, out, art_dir = sys.argv[1:4]
data = bytearray(open(exe, "rb").read())
# The bundle's index holds each name once: renamed, the picture is missing.
at = data.find(b"102.bmp")
if at < 0 or data.find(b"102.bmp", at + 1) >= 0:
    sys.exit("102.bmp is not named in the program exactly once")
data[at:at + 7] = b"10x.bmp"
for name, how in (("106.bmp", "noise"), ("103.bmp", "past-end")):
    art = open("%s/%s" % (art_dir, name), "rb").read()
    at = data.find(art)
    if at < 0 or data.find(art, at + 1) >= 0:
        sys.exit("%s is not in the program exactly once" % name)
    if how == "noise":
        data[at:at + len(art)] = bytes((i * 37 + 11) & 0xFF for i in range(len(art)))
    else:
        struct.pack_into("<I", data, at + 10, 0x7FFFFFF0)  # BITMAPFILEHEADER.bfOffBits
open(out, "wb").write(data)
PYEOF
mkdir "$work/spoilt"
cp "$(dirname "$KIVO_EXE")/kivo-web.so" "$work/spoilt/"
"$PY" "$work/spoil.py" "$KIVO_EXE" "$work/spoilt/kivo" "$SRC/frame/art" && chmod +x "$work/spoilt/kivo"
blank() {  # blank SHOT X0 Y0 X1 Y1: one colour fills that window-relative box
  geometry
  "$PY" -c 'import sys; from PIL import Image
x0, y0, x1, y1 = (int(v) for v in sys.argv[2:6])
colours = Image.open(sys.argv[1]).convert("RGB").crop((x0, y0, x1, y1)).getcolors(1 << 20)
print("%d colours" % len(colours)); sys.exit(0 if len(colours) == 1 else 1)' \
    "$work/$1.png" $((X + $2)) $((Y + $3)) $((X + $4)) $((Y + $5))
}
SOK_BOX=(611 35 683 63)
MINIMIZE_BOX=(818 0 845 19)
CLOSE_BOX=(845 0 882 19)
box() { (IFS=,; echo "$*"); }
spoilt_skin() {  # the frame as the art has it, but for the blank buttons
  local k
  shot spoilt
  geometry
  "$PY" "$SRC/tests/e2e/frame_compare.py" "$SRC/frame/art" "$work/spoilt.png" "$X" "$Y" "$W" "$H" \
    --selected 10 --skip "$(box "${SOK_BOX[@]}")" --skip "$(box "${MINIMIZE_BOX[@]}")" \
    --skip "$(box "${CLOSE_BOX[@]}")" --skip 6,85,136,$((85 + 8 * 39)) \
    --skip 6,$((85 + 9 * 39)),136,$((85 + 12 * 39)) --diff "$work/spoilt-diff.png" || return 1
  blank spoilt "${SOK_BOX[@]}" && blank spoilt "${MINIMIZE_BOX[@]}" && blank spoilt "${CLOSE_BOX[@]}" ||
    return 1
  for k in 3 13; do blank spoilt 6 $((85 + (k - 2) * 39)) 136 $((85 + (k - 1) * 39)) || return 1; done
}
start_kivo "$work/spoilt/kivo"
check "a corrupt skin: the program starts with its window" test -n "$win"
check "  a blank category button still reaches the site" reaches_site 10 /drama/
move_to_box() { geometry; point_at $((X + 760)) $((Y + 300)); }
move_to_box
check "  the search, caption and normal category buttons are blank, the rest is the art's" \
  wait_for 10 spoilt_skin
before=$(grep -c '^GET /e/search/' "$log")
click_at $((611 + 36)) $((35 + 14))
check "  and the blank search button still searches" \
  wait_for 15 eval '(($(grep -c "^GET /e/search/" "$log") > before))'
click_at $((888 - 70 + 13)) 9
check "  the blank minimize button minimizes" wait_for 10 iconic
check "  what it says names the two broken pictures" eval '
  grep -q "cannot load /kivo/art/106.bmp" "$work/kivo.log" && grep -q "cannot load /kivo/art/103.bmp" "$work/kivo.log"'
kill -TERM "$kivo_pid"
check "  SIGTERM ends it with status 0" ended_with 0

# --- the display goes away, with a download running -----------------------------
homes=$(grep -cxF "GET //xiazai/ 200" "$log")
start_kivo
wait_for 30 more_logged //xiazai/ "$homes"
check "a film's download runs into its partial file" download_film
mapfile -t below < <(descendants "$kivo_pid")
check "the program runs with its engine's processes below it" eval '((${#below[@]} > 0)) && echo "${#below[@]} processes"'
kill -KILL "${pids[0]}" # the suite's own X server
check "the display gone: the program ends within 10 s" wait_for 10 not alive
check "  and so do its engine's processes" wait_for 10 all_gone "${below[@]}"
check "  no partial file of the download stays behind" eval '(($(partials) == 0)) || ls -la "$dl"'
site_answers() { "$PY" -c 'import urllib.request; urllib.request.urlopen("http://127.0.0.1:8080/xiazai/", timeout=5)'; }
check "  the site is unaffected" eval 'site_answers && logged /xiazai/'

echo "$passed passed, $failed failed"
((failed == 0))
