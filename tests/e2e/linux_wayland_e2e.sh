#!/usr/bin/env bash
# The Linux program on a Wayland desktop: sway (headless), a panel with a
# notification area (waybar, whose tray is the session bus's
# StatusNotifierWatcher), the pointer and keyboard through wayvnc, screen
# shots with grim, the window's place from sway. The frame, its pointer
# looks and its drag, navigation, the icon in the panel and the menu the
# panel draws for it, the page menu, the one-instance hand-off, and the
# close button with no notification area at all.
#
# usage: linux_wayland_e2e.sh KIVO KIVO_SITE SOURCE_DIR
set -uo pipefail
KIVO=$1
SITE=$2
SRC=$3
# shellcheck source=tests/e2e/wayland_desktop.sh
source "$SRC/tests/e2e/wayland_desktop.sh"
# shellcheck source=tests/e2e/page_looks.sh
source "$SRC/tests/e2e/page_looks.sh"

start_panel || { echo "waybar did not become the watcher"; cat "$work/waybar.log"; exit 1; }
start_kivo || { echo "no window"; cat "$work/kivo.log"; exit 1; }

# --- the window ----------------------------------------------------------------
# sway floats a toplevel that has a parent or a fixed size (minimum equal to
# maximum); any other is tiled over the whole output, where the skin and
# the outline mean nothing.
floats() {
  geometry || return 1
  echo "$FLOATING at $X,$Y, ${W}x$H"
  [[ $FLOATING == floating && "$W,$H" == "888,700" ]]
}
check "the window floats at 888 x 700 by itself" eval 'wait_for 5 floats || { floats; false; }'
check "home page requested at start" wait_for 30 logged //xiazai/
park
check "frame pixels equal the art" look start 2

# --- pointer looks -----------------------------------------------------------------
move_to 71 "$(category_y 5)"
check "a category shows its hover look under the pointer" look hover-5 2 --hover 5
# One motion, straight out of the button onto the title band: no motion
# over the button's edge tells it the pointer is going.
geometry && hand move $((X + 250)) $((Y + 20))
check "  and its normal look after one jump onto the title band" look unhover-5 2
# A hand moves on from there: what follows does not hang on that jump.
hand move $((PTR_X + 1)) "$PTR_Y" move "$PTR_X" "$PTR_Y"

# --- the site ------------------------------------------------------------------------
click_category 6
check "a category click asks the site for its page" wait_for 10 logged /tv/
click_at 400 50
key ctrl+a BackSpace
hand type 'wayland 42'
key Return
search='/e/search/?searchget=1&keyboard=wayland%2042&show=title'
check "a search typed into the search field and sent with Enter" wait_for 10 logged "$search"

# --- the drag ----------------------------------------------------------------------
drag() {  # drag X Y DX DY: the left button down at X,Y (window), moved in steps, released
  geometry || return 1
  local x=$((X + $1)) y=$((Y + $2)) i steps=()
  for i in 1 2 3 4 5; do steps+=(sleep 100 move $((x + 1 + $3 * i / 5)) $((y + 1 + $4 * i / 5))); done
  # The program starts the move on the first motion with the button held,
  # and the compositor moves the window from where the pointer is then:
  # time for that before the real steps.
  hand move $((x - 1)) "$y" move "$x" "$y" down 1 sleep 150 move $((x + 1)) $((y + 1)) sleep 400 \
    "${steps[@]}" sleep 200 up 1
}
geometry
x0=$X y0=$Y
drag 250 20 -60 40
check "a drag on the title band moves the window by the pointer's distance" \
  wait_for 10 position_is $((x0 - 60)) $((y0 + 40))

# --- the page menu -----------------------------------------------------------------
# A page's looks, compared with the pointer out of the way.
# A popup's place and rows, from shots before and after it opened.
popup() {  # popup BEFORE NAME ROWS [BOX]: NAME.png shows a popup of ROWS rows (in BOX)
  local deadline=$((SECONDS + 10))
  rm -f "$work/$2.rows"
  while :; do
    shot "$2"
    if "$PY" "$SRC/tests/e2e/popup_find.py" "$work/$1.png" "$work/$2.png" ${4:+--box "$4"} >"$work/$2.found" &&
      (($(wc -l <"$work/$2.found") == $3 + 1)); then
      mv "$work/$2.found" "$work/$2.rows"
      return 0
    fi
    if ((SECONDS >= deadline)); then
      echo "popup, then its rows:"
      cat "$work/$2.found"
      # A menu that did come up somewhere holds the pointer and keyboard;
      # the panel's takes no keys.
      key Escape
      park
      hand click 1
      return 1
    fi
    sleep 0.3
  done
}
choose() {  # choose NAME N: a click on the N-th row of the popup found in NAME.png
  local x y
  [[ -s $work/$1.rows ]] || return 1
  read -r x y < <(sed -n "$(($2 + 1))p" "$work/$1.rows")
  point "$x" "$y" && hand click 1
}
# The page menu comes up where the pointer is; the whole screen is looked
# at, as a menu may come up anywhere.
page_menu() {  # a right click in the page; the menu found in page-menu.png
  move_to 600 450 || return 1
  shot page-before
  hand click 3
  popup page-before page-menu 4
}
at_pointer() {
  local bx by
  read -r bx by _ <"$work/page-menu.rows" || { echo "no menu"; return 1; }
  echo "menu at $bx,$by, pointer at $PTR_X,$PTR_Y"
  ((bx - PTR_X <= 8 && PTR_X - bx <= 8 && by - PTR_Y <= 8 && PTR_Y - by <= 8))
}
page_item() { page_menu && choose page-menu "$1"; }  # page_item N: chooses the N-th item
more_of() { (($(count "$1") > $2)); }
settled_page page-search
click_category 7
wait_for 10 logged /animation/
settled_page page-animation page-search
check "a right click in the page opens the page menu" page_menu
check "  with its corner at the pointer" at_pointer
choose page-menu 1
check "page menu 后退 goes back a page" page_is page-search
check "page menu 前进 goes forward again" eval 'page_item 2 && page_is page-animation'
before=$(count /animation/)
check "page menu 刷新 asks for the page once more" eval 'page_item 3 && wait_for 10 more_of /animation/ "$before"'
check "page menu 主页 asks for the home page" eval 'page_item 4 && wait_for 10 logged //xiazai'

# --- the notification area -----------------------------------------------------------
check "the icon shows in the panel" wait_for 20 icon_shown
click_icon 1
check "a left click on the icon hides the window" wait_for 10 hidden
click_icon 1
check "  and the next one shows it again" wait_for 10 shown

: >"$work/second.log"
second_start() {  # a second start ends at once, status 0, and the window is shown
  local rc
  timeout 10 "${as_user_prefix[@]}" env -i "${user_env[@]}" "${kivo_env[@]}" "$KIVO" >>"$work/second.log" 2>&1
  rc=$?
  echo "second start: exit $rc"
  ((rc == 0)) && wait_for 10 shown
}
click_at $((888 - 43 + 18)) 9
check "a second start brings the window hidden with the close button back" \
  eval 'wait_for 10 hidden && second_start'

# The panel's menu for our icon, below the panel. The first time with the
# main window hidden: no popup of the program's own could be taken for it.
tray_menu() {  # opens it; tray-menu.png shows it with its four rows
  park
  wait_for 10 icon_shown || { echo "no icon"; return 1; }
  shot tray-before
  click_icon 3
  popup tray-before tray-menu 4 "0,$PANEL_H,$SCREEN_W,$SCREEN_H"
}
tray_item() { tray_menu && choose tray-menu "$1"; }  # tray_item N: chooses the N-th item
hide_by_icon() {
  click_icon 1 || return 1
  wait_for 10 hidden || { echo "the window did not hide"; return 1; }
}
about_box() { window_line 关于我们; }
has_about_box() { [[ -n $(about_box) ]]; }
hide_by_icon
check "a right click on the icon: the panel draws our menu of four items" tray_menu
# The panel's menu takes no keys (a panel has no keyboard on this
# compositor): it is left by choosing.
check "tray menu 显示窗口 shows the window" eval 'hidden && choose tray-menu 1 && wait_for 10 shown'
check "tray menu 关于我们 opens the about box" eval 'tray_item 3 && wait_for 10 has_about_box'
swaymsg '[title="^关于我们$"] kill' >/dev/null 2>&1
wait_for 10 not has_about_box
check "tray menu 官方主页 goes to the desktop's browser" \
  eval 'tray_item 2 && wait_for 15 grep -qxF "http://127.0.0.1:8080/" "$browser_out"'
check "tray menu 退出软件 ends the program with status 0" eval 'tray_item 4 && ended_with 0'
check "  and its icon leaves the panel" eval 'wait_for 10 icon_gone && kill -0 "$panel_pid"'

# --- no notification area ------------------------------------------------------------
stop_panel
if alive; then
  kill "$kivo_pid"
  wait "$kivo_pid"
fi
start_kivo
click_at $((888 - 43 + 18)) 9
check "with no notification area the close button ends the program, status 0" ended_with 0

check "nothing the program printed was a toolkit warning or critical" \
  not grep -E 'Gtk-WARNING|Gtk-CRITICAL|GLib-WARNING|GLib-CRITICAL|GLib-GIO-CRITICAL' "$work/kivo.log" "$work/second.log"

echo "site log: $(wc -l <"$log") requests"
echo "$passed passed, $failed failed"
((failed == 0))
