#!/usr/bin/env bash
# The program as a screen reader finds it: the real program on the shared
# test desktop (linux_desktop.sh) with the accessibility bus of a private
# session bus, read and driven only through AT-SPI (atspi_probe.py, with
# pyatspi as Orca uses it). Every control is found by role and name, its
# states and extents checked, default actions run and their requests read
# from the site log; then the keyboard: Tab, Space, Enter and the focus
# cue, which must not show before a key.
#
# usage: linux_a11y_e2e.sh KIVO KIVO_SITE SOURCE_DIR
set -uo pipefail
KIVO=$1
SITE=$2
SRC=$3

# On a private session bus with the accessibility bus (the program finds
# it as it starts).
if [[ -z ${KIVO_A11Y_BUS:-} ]]; then
  # shellcheck source=tests/e2e/session_bus.sh
  source "$SRC/tests/e2e/session_bus.sh"
  rerun_with_a11y_bus "$0" "$@"
fi

export AT_BRIDGE=1 TRAY_AT_START=1
# shellcheck source=tests/e2e/linux_desktop.sh
source "$SRC/tests/e2e/linux_desktop.sh"

probe() { "$PY" "$SRC/tests/e2e/atspi_probe.py" "$CAPTION" "$@"; }
about() { "$PY" "$SRC/tests/e2e/atspi_probe.py" 关于我们 "$@"; }
CATEGORIES=(热门影片 今日更新 下载排行 手机电影 手机剧集 手机动漫 手机MTV 手机综艺 高清电影
  手机动作片 手机爱情片 手机恐怖片)
category() { echo "${CATEGORIES[$1 - 2]}"; }
# Role and name of every control of the frame, as the skin shows them.
FRAME=("image|$CAPTION" "push button|最小化" "push button|关闭" "grouping|影片分类"
  "scroll pane|影片网页" "link|求片专区" "link|问题反馈" "label|Kivo手机电影下载器 2011 Beta1"
  "entry|搜索影片" "push button|搜索")
for name in "${CATEGORIES[@]}"; do FRAME+=("radio button|$name"); done

check "home page requested at start" wait_for 30 logged //xiazai/
check "the frame reads through AT-SPI" wait_for 30 probe exposed "push button" 关闭
probe tree | tee "$work/tree.txt" | sed 's/^/     /'
# Before any key: the skin as drawn, whatever has the focus.
shot start
check "before any key the frame equals the art, pixel for pixel" frame_ok start 2

all_exposed() {
  local entry
  for entry in "${FRAME[@]}"; do probe exposed "${entry%%|*}" "${entry#*|}" >/dev/null || return 1; done
}
check "every control of the frame is found by role and name, showing" all_exposed
check "  and nothing else: nothing hidden, nameless or off the window" probe clean
check "  the focus at start is on a named control" probe focused "push button" 最小化

inside() {  # inside ROLE NAME X Y: the object's extents hold that window point
  local x y w h
  read -r x y w h < <(probe exposed "$1" "$2") || return 1
  echo "$2 at $x,$y ${w}x$h"
  (($3 >= x && $3 < x + w && $4 >= y && $4 < y + h))
}
extents_fit() {
  local k
  for k in {2..13}; do inside "radio button" "$(category "$k")" 71 "$(category_y "$k")" || return 1; done
  inside link 求片专区 729 51 && inside link 问题反馈 789 51 && inside entry 搜索影片 400 50 &&
    inside "scroll pane" 影片网页 500 400
}
check "extents lie where the frame draws each control" extents_fit
check "the categories are focusable radio buttons, the first one checked" eval \
  'probe states "radio button" 热门影片 focusable checked && probe states "radio button" 今日更新 focusable !checked'

check "a category's default action is its click" eval \
  'probe act "radio button" 今日更新 && wait_for 10 logged /xiazai/2.html'
check "  and the checked state moves with it" wait_for 10 eval \
  'probe states "radio button" 今日更新 checked && probe states "radio button" 热门影片 !checked'
check "the search button searches for the text set through the entry" eval \
  'probe type entry 搜索影片 ab && probe act "push button" 搜索 &&
   wait_for 10 logged "/e/search/?searchget=1&keyboard=ab&show=title"'
check "求片专区's default action opens the guestbook" eval \
  'probe act link 求片专区 && wait_for 10 logged "/e/tool/gbook/?bid=1"'
gbooks() { grep -c gbook "$log"; }
before=$(gbooks)
check "问题反馈's does too" eval \
  "probe act link 问题反馈 && wait_for 10 eval '(( \$(gbooks) > $before ))'"

# --- the keyboard ---------------------------------------------------------------
xdotool windowactivate --sync "$win" 2>/dev/null
keys() { xdotool key --delay 80 "$@"; }
# The first key shows the cue on the control it moves to, and changes
# nothing else of the frame.
cue_only_on() {  # cue_only_on SHOT ROLE NAME
  local x y w h
  read -r x y w h < <(probe exposed "$2" "$3") || return 1
  geometry
  "$PY" -c 'import sys; from PIL import Image, ImageChops
wx, wy, ww, wh, x, y, w, h = (int(v) for v in sys.argv[3:11])
a = Image.open(sys.argv[1]).convert("RGB").crop((wx, wy, wx + ww, wy + wh))
b = Image.open(sys.argv[2]).convert("RGB").crop((wx, wy, wx + ww, wy + wh))
box = ImageChops.difference(a, b).getbbox()
print("changed", box, "control", (x, y, x + w, y + h))
sys.exit(0 if box and x < box[0] and y < box[1] and box[2] < x + w and box[3] < y + h else 1)' \
    "$work/before-key.png" "$work/$1.png" "$X" "$Y" "$W" "$H" "$x" "$y" "$w" "$h"
}
cue_shows() { shot "$1" && cue_only_on "$@"; }
tab_to() {  # tab_to ROLE NAME: Tab until the focus is there, once round the window at most
  local _
  for _ in {1..30}; do
    probe focused "$1" "$2" >/dev/null && return 0
    keys Tab
  done
  return 1
}
click_category 2 # the pointer rests on the selected category from here on
wait_for 10 probe states "radio button" 热门影片 checked
shot before-key
keys Tab
IFS='|' read -r role name < <(probe focus)
check "the first key (Tab) shows a focus cue, inside the focused control ($name)" \
  wait_for 5 cue_shows after-tab "$role" "$name"
check "Tab reaches the category 下载排行" tab_to "radio button" 下载排行
keys space
check "  and Space works it" eval \
  'wait_for 10 logged /xiazai/3.html && probe states "radio button" 下载排行 checked'
probe type entry 搜索影片 kb
check "Tab reaches the search button" tab_to "push button" 搜索
keys Return
check "  and Enter searches" wait_for 10 logged "/e/search/?searchget=1&keyboard=kb&show=title"
homes() { grep -c "^GET //xiazai " "$log"; } # what 主页 asks for
# page_menu_by KEY X: in the page (clicked at X,640, where no page has a
# link) the key opens our page menu, and its 主页 works.
page_menu_by() {
  local before
  click_at "$2" 640
  before=$(homes)
  keys "$1"
  # The fourth item is 主页, which no item of the engine's own menu is.
  menu_keys Down Down Down Down Return && wait_for 10 eval "(( \$(homes) > $before ))"
}
check "Shift+F10 in the page opens our page menu" page_menu_by shift+F10 860
# Another spot: a pointer move to where it already is would never end.
check "  so does the Menu key" page_menu_by Menu 850

# --- the about box --------------------------------------------------------------
tray_menu Down Down Down Return
check "the about box from the tray menu reads through AT-SPI" eval \
  'wait_for 10 has_about_box && wait_for 10 about exposed "push button" 关闭'
about tree | sed 's/^/     /'
check "  its texts, picture and button, nothing else" about clean
check "  its button's default action closes it" eval \
  'about act "push button" 关闭 && wait_for 10 no_about_box'

kill -TERM "$kivo_pid"
check "the program ends cleanly" wait_for 15 not kill -0 "$kivo_pid"
check "  and nothing on the way was a toolkit warning or critical" \
  not grep -E 'CRITICAL|WARNING \*\*' "$work/kivo.log"
echo "$passed passed, $failed failed"
((failed == 0))
