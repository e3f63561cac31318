#!/usr/bin/env bash
# End-to-end test of the maximize bounds on an X screen of two RandR
# monitors: the primary one of 1024 x 768 on the left, a larger one of
# 1280 x 1024 on its right. Moved onto the right one and maximized, the
# window takes that monitor's work area (openbox keeps 40 pixels at the top
# of the screen), not the primary one's; restored, it is 888 x 700 again.
#
# usage: linux_monitors_e2e.sh KIVO KIVO_SITE SOURCE_DIR
set -uo pipefail
KIVO=$1
SITE=$2
SRC=$3
SCREEN=2304x1024x24
MONITORS=("*left 1024/271x768/203+0+0 screen" "right 1280/338x1024/270+1024+0 none")
WORK_NAME=kivo-monitors
# shellcheck source=tests/e2e/linux_desktop.sh
source "$SRC/tests/e2e/linux_desktop.sh"

at() { geometry; [[ "$X,$Y,$W,$H" == "$1" ]]; }
maximize() { wmctrl -i -r "$win" -b add,maximized_vert,maximized_horz; }
restore() { wmctrl -i -r "$win" -b remove,maximized_vert,maximized_horz; }

check "the window starts 888 x 700" wait_for 10 size_is 888 700
xdotool windowmove --sync "$win" 1200 100
check "moved onto the right monitor" wait_for 10 position_is 1200 100
maximize
check "maximized there: the right monitor's work area" wait_for 10 at 1024,40,1280,984
restore
check "restored: 888 x 700 on the right monitor" wait_for 10 at 1200,100,888,700

echo "$passed passed, $failed failed"
((failed == 0))
