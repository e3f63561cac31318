# The desktop every Linux end-to-end suite runs on, sourced by each: a real
# X server (Xvfb), a window manager (openbox, keeping 40 pixels at the top
# as a panel would), the demo site on port 8080 logging every request, and
# the program started with its state in a private folder. Gives the checks
# (check, wait_for) and the hands (click_at, shot, pixel, geometry).
#
# Expects KIVO, SITE and SRC set (SCREEN, WxHxDEPTH, for another screen
# than 1280x1024x24); leaves work, log, win, kivo_pid, site_pid and pids
# (ended in reverse order on exit).
PY=/usr/bin/python3
CAPTION="Kivo手机电影下载器"
TOP_MARGIN=40

# shellcheck source=tests/e2e/linux_checks.sh
source "$SRC/tests/e2e/linux_checks.sh"

# --- the desktop -----------------------------------------------------------
# The server picks a free display itself: two runs at once never share one.
# -noreset: otherwise the server resets when its last client (the readiness
# probe below) leaves, and refuses the window manager while it does.
Xvfb -displayfd 5 -screen 0 "${SCREEN:-1280x1024x24}" -nolisten tcp -noreset 5>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for 10 test -s "$work/display" || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
wait_for 10 xdpyinfo || { echo "Xvfb does not answer"; exit 1; }

sed "s|<top>0</top>|<top>$TOP_MARGIN</top>|" /etc/xdg/openbox/rc.xml >"$work/openbox.xml"
openbox --config-file "$work/openbox.xml" >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 30 wmctrl -m || { echo "openbox did not start"; cat "$work/openbox.log"; exit 1; }

# --- the site --------------------------------------------------------------
log=$work/site.log
if (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; then
  echo "port 8080 is taken; the program's site address is fixed to it"
  exit 1
fi
# SITE_ARGS: more options for the site (--slow).
start_site() {
  "$SITE" --port 8080 --log "$log" ${SITE_ARGS[@]+"${SITE_ARGS[@]}"} >>"$work/site.out" 2>&1 &
  site_pid=$!
  pids+=($site_pid)
  wait_for 10 grep -q listening "$work/site.out"
}
start_site || { echo "kivo-site did not start"; cat "$work/site.out"; exit 1; }

# --- the tray (a suite starts it when it wants one) --------------------------
start_tray() {
  [[ -n ${tray_pid:-} ]] && kill -0 "$tray_pid" 2>/dev/null && return 0
  trayer --edge top --align right --widthtype pixel --width 64 --heighttype pixel --height 24 \
    >>"$work/trayer.log" 2>&1 &
  tray_pid=$!
  pids+=($tray_pid)
}
stop_tray() { kill "$tray_pid" 2>/dev/null && wait "$tray_pid" 2>/dev/null; }
tray_panel() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ { print $1; exit }'; }
tray_up() { [[ -n $(tray_panel) ]]; }

# --- the program -------------------------------------------------------------
export XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
# Without assistive technology, as most users run it; AT_BRIDGE=1 (the
# accessibility suite, which brings its own bus) lets GTK bridge ATK to AT-SPI.
[[ ${AT_BRIDGE:-0} == 1 ]] || export NO_AT_BRIDGE=1
# The file chooser keeps its settings: in memory here, not in the desktop's.
export GSETTINGS_BACKEND=memory
# The instances' lock and socket: private to this run.
mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR=$work/run
# A page hidden 3 s gives its process back (20 s by default), so that
# hiding and showing also brings pages back from their pictures.
export KIVO_RELEASE_HIDDEN_AFTER=${KIVO_RELEASE_HIDDEN_AFTER:-3}
# Built with the sanitizers, the program is checked for memory errors but
# not for leaks: LeakSanitizer's scan at exit crashes among the engine's
# threads, and the toolkit keeps its caches to the end on purpose.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
# A default browser of the test's own: every address it is asked to open
# goes to $work/browser.out. Picked up by programs started afterwards.
stub_browser() {
  mkdir -p "$XDG_DATA_HOME/applications" "$XDG_CONFIG_HOME"
  printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s"\n' "$work/browser.out" >"$work/stub-browser"
  chmod +x "$work/stub-browser"
  printf '%s\n' '[Desktop Entry]' 'Type=Application' 'Name=Stub browser' \
    "Exec=$work/stub-browser %u" 'MimeType=x-scheme-handler/http;x-scheme-handler/https;' \
    'NoDisplay=true' >"$XDG_DATA_HOME/applications/kivo-stub-browser.desktop"
  printf '%s\n' '[Default Applications]' 'x-scheme-handler/http=kivo-stub-browser.desktop' \
    'x-scheme-handler/https=kivo-stub-browser.desktop' >"$XDG_CONFIG_HOME/mimeapps.list"
}
stub_browser
# TRAY_AT_START=1: a notification area from the start, as a desktop has one
# (the close button then hides into it rather than ending the program).
if [[ ${TRAY_AT_START:-0} == 1 ]]; then
  start_tray
  wait_for 10 tray_up || { echo "trayer did not start"; exit 1; }
fi
"$KIVO" >"$work/kivo.log" 2>&1 &
kivo_pid=$!
pids+=($kivo_pid)

find_window() { xdotool search --onlyvisible --name "^$CAPTION\$" 2>/dev/null | head -1; }
hidden() { [[ -z $(find_window) ]]; }
# xdotool's search gives up, printing nothing, when a window it walks goes
# away meanwhile, as windows do while the engine comes up: asked until the
# answer is a window.
window_found() {
  win=$(find_window)
  [[ -n $win ]]
}
wait_for 30 window_found || { echo "no window"; cat "$work/kivo.log"; exit 1; }

geometry() {  # sets X Y W H of the window on the screen
  eval "$(xdotool getwindowgeometry --shell "$win")"
  X=$X Y=$Y W=$WIDTH H=$HEIGHT
}
logged() { grep -qxF "GET $1 200" "$log"; }
shot() { import -window root "png:$work/$1.png"; }
frame_ok() {  # frame_ok SHOT SELECTED
  geometry
  "$PY" "$SRC/tests/e2e/frame_compare.py" "$SRC/frame/art" "$work/$1.png" "$X" "$Y" "$W" "$H" \
    --selected "$2" --diff "$work/$1-diff.png"
}
pixel() {  # pixel SHOT X Y -> "r,g,b"
  "$PY" -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]).convert("RGB"); print("%d,%d,%d" % im.getpixel((int(sys.argv[2]), int(sys.argv[3]))))' "$work/$1.png" "$2" "$3"
}
click_at() {  # click_at X Y (relative to the window)
  geometry
  xdotool mousemove --sync $((X + $1)) $((Y + $2)) click 1
}
click_category() { click_at $((6 + 65)) $((85 + ($1 - 2) * 39 + 19)); }
category_y() { echo $((85 + ($1 - 2) * 39 + 19)); }

# --- the pointer, hover looks and drags (window-relative) -------------------
# FRAME_OPTS: more frame_compare options for every look (--scale).
MX=0 MY=0
move_to() {  # move_to X Y (relative to the window), arriving with a second, 1-pixel step
  MX=$1 MY=$2
  geometry
  xdotool mousemove --sync $((X + $1 - 1)) $((Y + $2)) mousemove --sync $((X + $1)) $((Y + $2))
}
jump_to() {  # jump_to X Y (relative to the window) in one motion, as a flick of the hand
  MX=$1 MY=$2
  geometry
  xdotool mousemove --sync $((X + $1)) $((Y + $2))
}
nudge() {  # moves the pointer by a pixel and back where move_to left it
  geometry
  xdotool mousemove --sync $((X + MX + 1)) $((Y + MY)) mousemove --sync $((X + MX)) $((Y + MY))
}
# A move that leaves a captured button goes to that button, and so may every
# move the server queued before it let go; the next one belongs to the
# window under the pointer. So hover looks are polled with the pointer
# nudged in between, as a hand would. NUDGE=0 keeps the pointer still.
look() {  # look NAME SELECTED [frame_compare options]: screenshots until the frame matches
  local name=$1 selected=$2 deadline=$((SECONDS + 8))
  shift 2
  while :; do
    [[ ${NUDGE:-1} == 1 ]] && nudge
    shot "$name"
    geometry
    "$PY" "$SRC/tests/e2e/frame_compare.py" "$SRC/frame/art" "$work/$name.png" "$X" "$Y" "$W" "$H" \
      --selected "$selected" --diff "$work/$name-diff.png" ${FRAME_OPTS[@]+"${FRAME_OPTS[@]}"} "$@" &&
      return 0
    ((SECONDS >= deadline)) && return 1
    sleep 0.2
  done
}
pointer_shape() {  # the X server's pointer: WxH hot X,Y (XFixes, as the screen shows it)
  "$PY" -c 'import ctypes, ctypes.util
class Image(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("serial", ctypes.c_ulong), ("pixels", ctypes.c_void_p)]
x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes"))
x11.XOpenDisplay.restype = ctypes.c_void_p
xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(Image)
im = xfixes.XFixesGetCursorImage(x11.XOpenDisplay(None)).contents
print("%dx%d hot %d,%d" % (im.width, im.height, im.xhot, im.yhot))'
}
HAND=${HAND:-"32x32 hot 5,0"}  # frame/art/hand.cur
pointer_is() {  # pointer_is hand|other, polled with the pointer nudged
  local deadline=$((SECONDS + 8)) now
  while :; do
    nudge
    now=$(pointer_shape)
    if [[ $1 == hand ]]; then [[ $now == "$HAND" ]] && return 0; else [[ $now != "$HAND" ]] && return 0; fi
    ((SECONDS >= deadline)) && { echo "pointer: $now"; return 1; }
    sleep 0.2
  done
}
position_is() { geometry; [[ "$X,$Y" == "$1,$2" ]]; }
size_is() { geometry; [[ "$W,$H" == "$1,$2" ]]; }
drag() {  # drag BUTTON X Y DX DY (window-relative start): press, move in steps, release
  geometry
  local x=$((X + $2)) y=$((Y + $3)) i
  xdotool mousemove --sync "$x" "$y" mousedown "$1"
  xdotool mousemove --sync $((x + 1)) $((y + 1))
  for i in 1 2 3 4 5; do
    sleep 0.1
    xdotool mousemove --sync $((x + 1 + $4 * i / 5)) $((y + 1 + $5 * i / 5))
  done
  sleep 0.2
  xdotool mouseup "$1"
}

# --- our popup menus and the icon in the tray ---------------------------------
tray_icon() {  # prints our icon's window inside the tray; fails when there is none
  local panel icon
  panel=$(tray_panel)
  [[ -n $panel ]] || return 1
  icon=$(xwininfo -tree -id "$panel" | awk '/\("kivo" "Kivo"\)/ { print $1; exit }')
  [[ -n $icon ]] && echo "$icon"
}
tray_without_icon() { tray_up && ! tray_icon >/dev/null; }
# xdotool's --sync waits for the pointer to move: a move to where it already
# is would wait for nothing, so every move arrives with a 1-pixel step.
point_at() { xdotool mousemove --sync $(($1 - 1)) "$2" mousemove --sync "$1" "$2"; }
click_tray() {  # click_tray BUTTON: a click in the middle of our icon in the tray
  local icon
  icon=$(tray_icon) || return 1
  eval "$(xdotool getwindowgeometry --shell "$icon")"
  point_at $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
  xdotool click "$1"
}
menu_open() {  # one of our popup menus shows: an override-redirect window of ours, menu-sized
  local w
  for w in $(xdotool search --onlyvisible --class '^kivo$' 2>/dev/null); do
    xwininfo -id "$w" | grep -q 'Override Redirect State: yes' || continue
    (($(xwininfo -id "$w" | awk '/Height:/ { print $2 }') >= 50)) && return 0
  done
  return 1
}
menu_closed() { ! menu_open; }
menu_keys() {  # menu_keys KEY...: once the menu shows, typed into it
  wait_for 20 menu_open || { echo "no menu"; return 1; }
  xdotool key --delay 40 "$@"
}
tray_menu() { click_tray 3 && menu_keys "$@"; }
about_box() { xdotool search --onlyvisible --name '^关于我们$' 2>/dev/null | head -1; }
has_about_box() { [[ -n $(about_box) ]]; }
no_about_box() { [[ -z $(about_box) ]]; }

# The page area, window-relative (the category column ends at x 136, the
# title area at y 85, the status line begins at y 670), and the colours of
# the program's own error page: the category column's blue for its bar and
# button, the frame's body colour for its address box.
PAGE_BOX=(140 90 870 665)
BLUE="0,153,218"
BODY="118,207,233"
# Our error page, as the screen shows it: the blue bar along the page's top
# and the address box, with the retry button below it.
ours_in() {  # ours_in SHOT: prints the retry button's centre, fails when not our page
  geometry
  "$PY" -c 'import sys; from PIL import Image
im = Image.open(sys.argv[1]).convert("RGB")
wx, wy, x0, y0, x1, y1 = (int(v) for v in sys.argv[2:8])
blue = tuple(int(v) for v in sys.argv[8].split(","))
body = tuple(int(v) for v in sys.argv[9].split(","))
bar = sum(1 for x in range(x0, x1) if im.getpixel((wx + x, wy + 87)) == blue)
box = [(x, y) for y in range(y0, y1, 2) for x in range(x0, x1, 2) if im.getpixel((wx + x, wy + y)) == body]
if bar < (x1 - x0) * 9 // 10 or len(box) < 2000:
    print("bar %d pixels, address box %d" % (bar, len(box))); sys.exit(1)
below = max(y for _, y in box)
button = [(x, y) for y in range(below + 1, min(below + 90, y1)) for x in range(x0, x1)
          if im.getpixel((wx + x, wy + y)) == blue]
if len(button) < 1000:
    print("no button below the address box"); sys.exit(1)
xs = sorted(x for x, _ in button); ys = sorted(y for _, y in button)
print(xs[len(xs) // 2], ys[len(ys) // 2])' "$work/$1.png" "$X" "$Y" "${PAGE_BOX[@]}" "$BLUE" "$BODY"
}
shows_ours() {  # shows_ours NAME [SECONDS]: our page comes to show, polled; the retry button's centre in $work/retry-at
  local deadline=$((SECONDS + ${2:-20}))
  while :; do
    shot "$1"
    ours_in "$1" >"$work/retry-at" && return 0
    ((SECONDS >= deadline)) && { cat "$work/retry-at"; return 1; }
    sleep 0.3
  done
}
