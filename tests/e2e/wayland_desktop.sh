# The Wayland desktop the Wayland end-to-end suite runs on, sourced by it: a
# real compositor (sway, headless, drawn by pixman, no input devices of its
# own), a private session bus, a panel with a notification area (waybar,
# which is also the bus's StatusNotifierWatcher), wayvnc as the hands
# (pointer and keyboard, through rfb_input.py), grim as the eyes, the demo
# site on port 8080 logging every request, and the program started with its
# state in a private folder.
#
# sway will not run as root: when the suite is root, the desktop and the
# program run as an unprivileged user of their own (WL_USER, made once),
# with a runtime folder inside the scratch folder. The site may stay root.
#
# Expects KIVO, SITE and SRC set; leaves work, log, kivo_pid, panel_pid,
# site_pid and pids (ended in reverse order on exit), and the helpers below.
PY=/usr/bin/python3
CAPTION="Kivo手机电影下载器"
SCREEN_W=1280
SCREEN_H=1024
PANEL_H=30
# The panel's colour: anything else in its strip is an item's icon.
PANEL_RGB="32,32,32"
WL_USER=${WL_USER:-kivo-wl}

if (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; then
  echo "port 8080 is taken; the program's site address is fixed to it"
  exit 1
fi
WORK_NAME=kivo-wayland-e2e
# shellcheck source=tests/e2e/linux_checks.sh
source "$SRC/tests/e2e/linux_checks.sh"

# --- the user everything on the desktop runs as --------------------------------
if (($(id -u) == 0)); then
  id -u "$WL_USER" >/dev/null 2>&1 ||
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$WL_USER" ||
    { echo "cannot make the user $WL_USER"; exit 1; }
  as_user_prefix=(setpriv --reuid="$WL_USER" --regid="$(id -g "$WL_USER")" --init-groups --)
  owner=$WL_USER:$(id -gn "$WL_USER")
else
  as_user_prefix=()
  owner=$(id -un):$(id -gn)
fi
# The scratch folder is root's own: the user may pass through it, and
# writes only in what is handed to it.
chmod 711 "$work"
mkdir -m 700 "$work/run"
mkdir "$work/home" "$work/state" "$work/panel"
chown "$owner" "$work/run" "$work/home" "$work/state"
# setpriv replaces itself with the command: a recorded pid is the
# program's own, its exit status is the program's.
user_env=(PATH=/usr/local/bin:/usr/bin:/bin HOME="$work/home" LANG=C.UTF-8 XDG_RUNTIME_DIR="$work/run")
as_user() { "${as_user_prefix[@]}" env -i "${user_env[@]}" "$@"; }
# Started in the background as a simple command, not through a function:
# bash then runs it in the forked child itself, and the pid it records is
# the process that has to be ended.
spawn() {  # spawn LOG COMMAND...: sets spawned
  local out=$1
  shift
  "${as_user_prefix[@]}" env -i "${user_env[@]}" "$@" >>"$out" 2>&1 &
  spawned=$!
  pids+=($spawned)
}

for f in "$KIVO" "$(dirname "$KIVO")/kivo-web.so"; do
  as_user test -r "$f" -a -x "$(dirname "$f")" ||
    { echo "$WL_USER cannot read $f: the folders on its way must be open to others"; exit 1; }
done

# --- the session bus ------------------------------------------------------------
"${as_user_prefix[@]}" env -i "${user_env[@]}" dbus-daemon --session --nofork \
  --address="unix:path=$work/run/bus" --print-address=3 3>"$work/bus.address" >"$work/bus.log" 2>&1 &
pids+=($!)
wait_for 10 test -s "$work/bus.address" || { echo "dbus-daemon did not start"; cat "$work/bus.log"; exit 1; }
user_env+=(DBUS_SESSION_BUS_ADDRESS="$(head -1 "$work/bus.address")")
# Nothing on this desktop should start the accessibility bus.
user_env+=(NO_AT_BRIDGE=1 GTK_A11Y=none)
on_bus() { as_user gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
  -m org.freedesktop.DBus.NameHasOwner "$1" | grep -q true; }

# --- the compositor -------------------------------------------------------------
# Nothing tiles or frames a window here unless it asks for it; a window that
# tiles is the program's doing (see the suite).
cat >"$work/sway.conf" <<EOF
xwayland disable
output HEADLESS-1 resolution ${SCREEN_W}x${SCREEN_H} position 0,0
default_border none
default_floating_border none
focus_on_window_activation focus
EOF
chmod 644 "$work/sway.conf"
spawn "$work/sway.log" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  WLR_HEADLESS_OUTPUTS=1 sway --config "$work/sway.conf"
sway_up() {
  local s d
  s=$(compgen -G "$work/run/sway-ipc.*.sock" | head -1)
  d=$(compgen -G "$work/run/wayland-[0-9]" | head -1)
  [[ -n $s && -n $d ]] || return 1
  SWAYSOCK=$s WAYLAND_DISPLAY=${d##*/}
  as_user SWAYSOCK="$SWAYSOCK" swaymsg -t get_outputs >/dev/null
}
wait_for 20 sway_up || { echo "sway did not start"; cat "$work/sway.log"; exit 1; }
user_env+=(SWAYSOCK="$SWAYSOCK" WAYLAND_DISPLAY="$WAYLAND_DISPLAY")
swaymsg() { as_user swaymsg "$@"; }

# --- the panel ------------------------------------------------------------------
cat >"$work/panel/config" <<EOF
{
  "layer": "top",
  "position": "top",
  "height": $PANEL_H,
  "modules-left": [],
  "modules-center": [],
  "modules-right": ["tray"],
  "tray": { "icon-size": 24, "spacing": 8 }
}
EOF
# Only the bar itself: rules for every widget would reach the menus the
# panel draws for its items too.
cat >"$work/panel/style.css" <<EOF
window#waybar { background: rgb($PANEL_RGB); }
#tray { padding: 0 8px; }
EOF
chmod 755 "$work/panel"
chmod 644 "$work/panel/config" "$work/panel/style.css"
start_panel() {
  spawn "$work/waybar.log" waybar --config "$work/panel/config" --style "$work/panel/style.css"
  panel_pid=$spawned
  wait_for 20 on_bus org.kde.StatusNotifierWatcher
}
stop_panel() {
  kill "$panel_pid" 2>/dev/null && wait "$panel_pid" 2>/dev/null
  wait_for 10 not on_bus org.kde.StatusNotifierWatcher
}

# --- the hands ------------------------------------------------------------------
VNC_PORT=$("$PY" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
spawn "$work/wayvnc.log" wayvnc --output=HEADLESS-1 127.0.0.1 "$VNC_PORT"
# A person's pace, held on a loaded machine: 40 ms after every message.
# Where the pointer is (screen), as the compositor draws it into every shot;
# a press or a key leaves it there. A move with the hand moves it too.
PTR_X=0 PTR_Y=0
hand() {  # hand COMMAND... (rfb_input.py's)
  local a=("$@") i
  "$PY" "$SRC/tests/e2e/rfb_input.py" --delay "${HAND_DELAY:-40}" --at "$PTR_X,$PTR_Y" "$VNC_PORT" "$@" || return 1
  for ((i = 0; i < ${#a[@]}; i++)); do
    [[ ${a[i]} == move ]] && PTR_X=${a[i + 1]} PTR_Y=${a[i + 2]}
  done
  return 0
}
wait_for 20 hand || { echo "wayvnc does not answer"; cat "$work/wayvnc.log"; exit 1; }
point() { hand move $(($1 - 1)) "$2" move "$1" "$2"; }  # point X Y (screen): arrives with a 1-pixel step
# Out of the window's way, on the bare desktop at the bottom left.
park() { point 8 $((SCREEN_H - 8)); }
key() {  # key NAME...: one after another
  local k a=()
  for k; do a+=(key "$k"); done
  hand "${a[@]}"
}

# --- the eyes -------------------------------------------------------------------
shot() { as_user grim -t png - >"$work/$1.png"; }
pixel() {  # pixel SHOT X Y -> "r,g,b"
  "$PY" -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]).convert("RGB"); print("%d,%d,%d" % im.getpixel((int(sys.argv[2]), int(sys.argv[3]))))' "$work/$1.png" "$2" "$3"
}

# --- the windows, as the compositor has them -------------------------------------
# windows [TITLE] -> one line per window (with that title):
#   "id app_id floating|tiled x y w h title"
windows() {
  swaymsg -r -t get_tree | "$PY" -c 'import json, sys
want = sys.argv[1] if len(sys.argv) > 1 else None
def walk(n, floating=False):
    if n.get("type") in ("con", "floating_con") and n.get("pid") and want in (None, n.get("name")):
        r = n["rect"]
        print(n["id"], n.get("app_id") or "-", "floating" if floating else "tiled",
              r["x"], r["y"], r["width"], r["height"], n.get("name") or "")
    for c in n.get("nodes", []):
        walk(c, floating)
    for c in n.get("floating_nodes", []):
        walk(c, True)
walk(json.load(sys.stdin))' "$@"
}
window_line() { windows "$1" | head -1; }
main_window() { window_line "$CAPTION"; }
shown() { [[ -n $(main_window) ]]; }
hidden() { ! shown; }
geometry() {  # sets X Y W H of the main window on the screen; fails while it is hidden
  local line
  line=$(main_window)
  [[ -n $line ]] || return 1
  read -r _ _ FLOATING X Y W H _ <<<"$line"
}
position_is() { geometry && [[ "$X,$Y" == "$1,$2" ]]; }

# --- the site -------------------------------------------------------------------
log=$work/site.log
start_site() {
  "$SITE" --port 8080 --log "$log" >>"$work/site.out" 2>&1 &
  site_pid=$!
  pids+=($site_pid)
  wait_for 10 grep -q listening "$work/site.out"
}
start_site || { echo "kivo-site did not start"; cat "$work/site.out"; exit 1; }
logged() { grep -qxF "GET $1 200" "$log"; }
count() { grep -cxF "GET $1 200" "$log"; }

# --- the program ------------------------------------------------------------------
# Its state private to the run; the desktop's browser a stub that writes
# down what it was asked to open (the program opens its official site
# through the desktop's handler for http).
state=$work/state
kivo_env=(GDK_BACKEND=wayland XDG_CACHE_HOME="$state/cache" XDG_DATA_HOME="$state/data"
  XDG_CONFIG_HOME="$state/config" GSETTINGS_BACKEND=memory)
# Built with the sanitizers: memory errors only (see linux_desktop.sh).
[[ -n ${ASAN_OPTIONS:-} ]] && kivo_env+=(ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0")
mkdir -p "$state/data/applications" "$state/config"
browser_out=$state/browser.out
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s"\n' "$browser_out" >"$state/stub-browser"
chmod 755 "$state/stub-browser"
printf '%s\n' '[Desktop Entry]' 'Type=Application' 'Name=Stub browser' \
  "Exec=$state/stub-browser %u" 'MimeType=x-scheme-handler/http;x-scheme-handler/https;' \
  'NoDisplay=true' >"$state/data/applications/kivo-stub-browser.desktop"
printf '%s\n' '[Default Applications]' 'x-scheme-handler/http=kivo-stub-browser.desktop' \
  'x-scheme-handler/https=kivo-stub-browser.desktop' >"$state/config/mimeapps.list"
chown -R "$owner" "$state"

start_kivo() {  # the first instance, its output in kivo.log; waits for its window
  spawn "$work/kivo.log" "${kivo_env[@]}" "$KIVO"
  kivo_pid=$spawned
  wait_for 30 shown
}

# --- looks --------------------------------------------------------------------------
# The compositor draws the pointer into the shot: its picture (up to 32
# pixels, hot spot near its top left) is left out of a comparison.
pointer_box() {  # window-relative box around the pointer, for frame_compare --skip
  echo "$((PTR_X - X - 8)),$((PTR_Y - Y - 8)),$((PTR_X - X + 40)),$((PTR_Y - Y + 40))"
}
frame_ok() {  # frame_ok SHOT SELECTED [frame_compare options]
  geometry || { echo "no window"; return 1; }
  local name=$1 selected=$2
  shift 2
  "$PY" "$SRC/tests/e2e/frame_compare.py" "$SRC/frame/art" "$work/$name.png" "$X" "$Y" "$W" "$H" \
    --selected "$selected" --skip="$(pointer_box)" --diff "$work/$name-diff.png" "$@"
}
look() {  # look NAME SELECTED [frame_compare options]: shots, the pointer still, until the frame matches
  local name=$1 deadline=$((SECONDS + 8))
  while :; do
    shot "$name"
    frame_ok "$@" && return 0
    ((SECONDS >= deadline)) && return 1
    sleep 0.2
  done
}
move_to() { geometry && point $((X + $1)) $((Y + $2)); }  # window-relative
click_at() { move_to "$1" "$2" && hand click 1; }
category_y() { echo $((85 + ($1 - 2) * 39 + 19)); }
click_category() { click_at 71 "$(category_y "$1")"; }

# --- the notification area ----------------------------------------------------------
# Our icon: the only item, so whatever in the panel's strip is not the
# panel's colour. The pointer is parked first: it is drawn into the shot.
panel_items() {  # prints the icon's centre "x y" on the screen; fails when the strip is bare
  park
  shot panel
  "$PY" -c 'import sys; from PIL import Image
im = Image.open(sys.argv[1]).convert("RGB")
bg = tuple(int(v) for v in sys.argv[2].split(","))
h = int(sys.argv[3])
pts = [(x, y) for y in range(h) for x in range(im.width) if im.getpixel((x, y)) != bg]
if len(pts) < 20: sys.exit(1)
xs = [p[0] for p in pts]; ys = [p[1] for p in pts]
print((min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2)' "$work/panel.png" "$PANEL_RGB" "$PANEL_H"
}
icon_shown() { panel_items >"$work/icon-at"; }
icon_gone() { ! panel_items >/dev/null; }
# Two clicks on the icon within the double-click time are a double click
# to the panel, which it passes on as one more activation: the hand lets
# that time pass between clicks, as a person clicking twice would.
icon_clicked=0
click_icon() {  # click_icon BUTTON
  local x y wait
  read -r x y <"$work/icon-at" || return 1
  wait=$((icon_clicked + 800 - $(date +%s%3N)))
  point "$x" "$y" && hand sleep $((wait > 0 ? wait : 0)) click "$1"
  icon_clicked=$(date +%s%3N)
}
