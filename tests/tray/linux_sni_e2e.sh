#!/usr/bin/env bash
# The tray on desktops with a StatusNotifierWatcher (KDE, GNOME's
# AppIndicator extension, Wayland panels): the real program on the shared
# test desktop, with a private session bus and a watcher and host of the
# test's own (sni_probe). The item registers, reads back right, its clicks
# work as a click on the XEmbed icon does, the XEmbed icon takes over while
# the watcher is away, and nothing is left on the bus after the end.
#
# usage: linux_sni_e2e.sh KIVO KIVO_SITE SOURCE_DIR SNI_PROBE
set -uo pipefail
KIVO=$1
SITE=$2
SRC=$3
PROBE=$4

# The bus outlives the desktop below (the program must find it at start),
# so it is started around a second run of this script and ended by its pid.
if [[ -z ${KIVO_SNI_BUS:-} ]]; then
  # shellcheck source=tests/e2e/session_bus.sh
  source "$SRC/tests/e2e/session_bus.sh"
  busdir=$(mktemp -d /tmp/kivo-sni-bus.XXXXXX)
  start_session_bus "$busdir" || { rm -rf "$busdir"; exit 1; }
  KIVO_SNI_BUS=$bus_pid bash "$0" "$@"
  rc=$?
  kill "$bus_pid" 2>/dev/null && wait "$bus_pid" 2>/dev/null
  rm -rf "$busdir"
  exit $rc
fi
export DBUS_SESSION_BUS_ADDRESS

# The watcher first: the program looks for it as it starts.
watcher_log=$(mktemp /tmp/kivo-sni-watcher.XXXXXX)
"$PROBE" watcher >"$watcher_log" 2>&1 &
watcher_pid=$!
for ((i = 0; i < 100; i++)); do
  grep -q '^watching ' "$watcher_log" && break
  sleep 0.1
done
grep -q '^watching ' "$watcher_log" || { echo "the watcher did not start"; cat "$watcher_log"; exit 1; }

# shellcheck source=tests/e2e/linux_desktop.sh
source "$SRC/tests/e2e/linux_desktop.sh"
pids=("$watcher_pid" "${pids[@]}")
mv "$watcher_log" "$work/watcher.log"
watcher_log=$work/watcher.log

shown() { window_found; }
# The N-th item the watcher took, since it last started.
registered() { awk -v n="$1" '/^registered / && ++seen == n { print $2; exit }' "$watcher_log"; }
has_registered() { [[ -n $(registered "$1") ]]; }
owned() { "$PROBE" owned "$1"; }
start_watcher() {
  : >"$watcher_log"
  "$PROBE" watcher >>"$watcher_log" 2>&1 &
  watcher_pid=$!
  pids+=($watcher_pid)
  wait_for 10 grep -q '^watching ' "$watcher_log"
}
stop_watcher() { kill "$watcher_pid" 2>/dev/null && wait "$watcher_pid" 2>/dev/null; }
prop() {  # prop SERVICE NAME [X Y]: one property as sni_probe prints it
  "$PROBE" props "$1" "${3:-0}" "${4:-0}" | awk -v k="$2" 'index($0, k "=") == 1 { print substr($0, length(k) + 2); exit }'
}
prop_is() {  # prop_is SERVICE NAME VALUE
  local got
  got=$(prop "$1" "$2")
  echo "$2: '$got', expected '$3'"
  [[ $got == "$3" ]]
}
# The 48-pixel picture's pixel (X, Y) is the icon's own, alpha first: the
# art's 48-pixel image says what it is, within what scaling may change.
argb_matches() {  # argb_matches SERVICE X Y
  local got want
  got=$(prop "$1" IconPixmap.argb "$2" "$3")
  want=$("$PY" -c 'import sys
from PIL import Image
im = Image.open(sys.argv[1]); im.size = (48, 48)
r, g, b, a = im.convert("RGBA").getpixel((int(sys.argv[2]), int(sys.argv[3])))
print("%d,%d,%d,%d" % (a, r, g, b))' "$SRC/frame/art/app.ico" "$2" "$3")
  echo "argb at $2,$3: $got, the art's: $want"
  "$PY" -c 'import sys
g = [int(v) for v in sys.argv[1].split(",")]; w = [int(v) for v in sys.argv[2].split(",")]
sys.exit(0 if len(g) == 4 and all(abs(a - b) <= 20 for a, b in zip(g, w)) else 1)' "$got" "$want"
}

# --- registration and properties ----------------------------------------------
start_tray
check "the item registers with the watcher" wait_for 20 has_registered 1
item=$(registered 1)
check "  under org.kde.StatusNotifierItem-<pid>-<n>" \
  eval '[[ $item =~ ^org\.kde\.StatusNotifierItem-$kivo_pid-[0-9]+$ ]] && owned "$item"'
check "  and no XEmbed icon shows in the tray meanwhile" eval 'wait_for 10 tray_up && tray_without_icon'
check "its properties: title, tool tip, status, category" eval '
  prop_is "$item" Title "$CAPTION" && prop_is "$item" ToolTip.title "$CAPTION" &&
  prop_is "$item" Status Active && prop_is "$item" Category ApplicationStatus'
check "  a menu the panel draws, no themed icon, the main window's id" eval '
  prop_is "$item" ItemIsMenu false && prop_is "$item" Menu /MenuBar &&
  prop_is "$item" IconName "" && prop_is "$item" WindowId "$win"'
check "  its pictures at 16, 22, 24, 32, 48 and 64 pixels, each whole" eval '
  prop_is "$item" IconPixmap.sizes "16x16 22x22 24x24 32x32 48x48 64x64" &&
  prop_is "$item" IconPixmap.whole yes'
check "  ARGB in network byte order: an opaque green pixel" argb_matches "$item" 12 22
check "  and a transparent corner" argb_matches "$item" 0 0

# --- clicks -----------------------------------------------------------------
"$PROBE" call "$item" Activate
check "Activate hides the shown window" wait_for 10 hidden
"$PROBE" call "$item" Activate
check "  and shows it again" wait_for 10 shown
"$PROBE" call "$item" ContextMenu
check "ContextMenu opens the tray menu" wait_for 10 menu_open
xdotool key Escape
check "  and Escape closes it" wait_for 10 menu_closed
check "SecondaryActivate and Scroll are answered and change nothing" eval '
  "$PROBE" call "$item" SecondaryActivate && "$PROBE" call "$item" Scroll &&
  sleep 0.5 && shown && menu_closed'

# --- the tray menu as a panel reads and draws it ---------------------------------
menu_layout() { "$PROBE" layout "$item" /MenuBar; }
menu_reads() { [[ $(menu_layout | cut -d' ' -f2- | tr '\n' '|') == "$1" ]]; }
check "the panel reads the tray menu: items, order, separators, texts" \
  wait_for 10 menu_reads "显示窗口|官方主页|separator|关于我们|separator|退出软件|"
panel_choose() {  # panel_choose CAPTION: the panel opens the menu and the item is clicked
  local id
  id=$(menu_layout | awk -v c="$1" '$2 == c { print $1; exit }')
  [[ -n $id ]] && "$PROBE" event "$item" /MenuBar 0 opened &&
    "$PROBE" event "$item" /MenuBar "$id" clicked || return 1
  # The exit command leaves no menu to tell.
  "$PROBE" event "$item" /MenuBar 0 closed 2>/dev/null
  return 0
}
"$PROBE" call "$item" Activate
wait_for 10 hidden
panel_choose 显示窗口
check "  its 显示窗口 shows the hidden window" wait_for 10 shown
panel_choose 官方主页
check "  its 官方主页 opens the official site in the default browser" \
  wait_for 10 grep -qxF 'http://127.0.0.1:8080/' "$work/browser.out"
panel_choose 关于我们
check "  its 关于我们 opens the about box" wait_for 10 has_about_box
check "  and no menu of the program's own opened meanwhile" menu_closed

# --- the watcher goes away and comes back --------------------------------------
stop_watcher
check "the watcher goes: the XEmbed icon shows in the tray" wait_for 20 tray_icon
check "  and the item leaves the bus" wait_for 10 not owned "$item"
click_tray 1
check "  its clicks work: the window hides" wait_for 10 hidden
start_watcher
check "the watcher comes back: the item registers again" wait_for 20 has_registered 1
item=$(registered 1)
check "  and the XEmbed icon leaves the tray" wait_for 20 tray_without_icon
"$PROBE" call "$item" Activate
check "  and its Activate shows the window" wait_for 10 shown

# --- the end ----------------------------------------------------------------
check "the new item serves the same menu" \
  wait_for 10 menu_reads "显示窗口|官方主页|separator|关于我们|separator|退出软件|"
panel_choose 退出软件
check "the panel's 退出软件 ends the program with status 0" ended_with 0
check "  and the item's name has left the bus" wait_for 10 not owned "$item"
check "  the watcher saw it go" wait_for 10 grep -qxF "gone $item" "$watcher_log"
check "  and no XEmbed icon was left in the tray" tray_without_icon

# A bus with no watcher on it: the XEmbed icon, at once.
stop_watcher
"$KIVO" >>"$work/kivo.log" 2>&1 &
kivo_pid=$!
pids+=($kivo_pid)
win=
wait_for 30 window_found
check "with a bus but no watcher the XEmbed icon shows" wait_for 30 tray_icon
# GLib would end a program whose session bus goes; this one keeps its icon.
# Once its page is there: the engine sets itself up on the bus meanwhile,
# and says so loudly when the bus vanishes under it.
home_loads() { grep -cxF "GET //xiazai/ 200" "$log"; }
wait_for 30 eval '(($(home_loads) >= 2))'
kill "$KIVO_SNI_BUS"
wait_for 10 not kill -0 "$KIVO_SNI_BUS"
check "the session bus goes: the program runs on, with its icon" \
  eval 'sleep 1 && alive && tray_icon && shown'
kill -TERM "$kivo_pid"
check "  SIGTERM ends the program with status 0" ended_with 0
check "nothing on the way was a toolkit warning or critical" \
  not grep -E 'CRITICAL|WARNING \*\*' "$work/kivo.log"

echo "$passed passed, $failed failed"
((failed == 0))
