#!/usr/bin/env bash
# End-to-end test of the Linux program at GTK's scale of 2 on a 2560 x 1600
# screen: the window's size in the screen's pixels, its frame against the
# art enlarged to blocks of 2 x 2 (the search field's frame picture too),
# a category click and a caption button's hover at the screen's
# coordinates, the hand pointer, the window manager's icons, a drag of the
# title band, the page drawn at the scale, the tray icon drawn at the
# tray's size and the about box's picture pixel-doubled.
#
# usage: linux_hidpi_e2e.sh KIVO KIVO_SITE SOURCE_DIR
set -uo pipefail
KIVO=$1
SITE=$2
SRC=$3
S=2
export GDK_SCALE=$S GDK_DPI_SCALE=1
SCREEN=2560x1600x24
FRAME_OPTS=(--scale "$S")
HAND="64x64 hot 10,0"  # frame/art/hand.cur, each pixel a block of 2 x 2
# shellcheck source=tests/e2e/linux_desktop.sh
source "$SRC/tests/e2e/linux_desktop.sh"

d() { echo $(($1 * S)); }  # a window coordinate in the screen's pixels

page_rule_rows() {  # page_rule_rows SHOT: the heights of the page's long #d3e8f9 rules
  geometry
  "$PY" -c 'import sys; from PIL import Image
x0, y0, x1, y1 = (int(v) for v in sys.argv[2:6])
im = Image.open(sys.argv[1]).convert("RGB").crop((x0, y0, x1, y1))
px = im.load()
def long_run(y):
    best = run = 0
    for x in range(im.width):
        run = run + 1 if px[x, y] == (211, 232, 249) else 0
        best = max(best, run)
    return best >= 400
heights, h = [], 0
for y in range(im.height):
    if long_run(y):
        h += 1
    elif h:
        heights.append(h); h = 0
print(" ".join(str(v) for v in heights))' "$work/$1.png" \
    $((X + $(d 140))) $((Y + $(d 90))) $((X + $(d 870))) $((Y + $(d 665)))
}
# The page heading has a 2-pixel rule below it (the site's CSS): drawn at
# the scale, it is 4 rows of the screen.
page_at_scale() {
  shot page
  local rows
  rows=$(page_rule_rows page)
  echo "rules: $rows"
  [[ " $rows " == *" $(d 2) "* && " $rows " != *" 2 "* ]]
}

pointer_blocks() {  # the X server's pointer is made of S x S blocks of one colour each
  "$PY" - "$SRC/platform/win32/tools" "$S" <<'EOF'
import sys
sys.path.insert(0, sys.argv[1])
from x_cursor import current_pointer
shown_pointer = current_pointer()
if shown_pointer is None:
    sys.exit(1)
w, h, _, _, argb = shown_pointer
s = int(sys.argv[2])
odd = sum(1 for y in range(h) for x in range(w) if argb[y * w + x] != argb[(y - y % s) * w + x - x % s])
shown = sum(1 for p in argb if p[0])
print("%dx%d, %d pixels shown, %d unlike their block" % (w, h, shown, odd))
sys.exit(0 if odd == 0 and shown > 100 else 1)
EOF
}

# --- start-up ------------------------------------------------------------------
check "home page requested at start as //xiazai/" wait_for 30 logged //xiazai/
check "the window is 1776 x 1400 screen pixels" wait_for 10 size_is $(d 888) $(d 700)
check "frame pixels equal the art pixel-doubled" look start 2
# The frame picture of the search field: smoothed, its edges would bleed
# into the band beside it.
check "the search field's frame equals its art pixel-doubled" look start-search 2 --search-frame
check "the page is drawn at the scale" wait_for 20 page_at_scale

# --- a category, a caption button, the pointer -----------------------------------
before=$(wc -l <"$log")
click_at $(d $((6 + 65))) $(d "$(category_y 5)")
check "a click on npc(5) at the screen's coordinates asks for /xiazais/index.html" \
  wait_for 10 logged /xiazais/index.html
check "  with exactly one request" test "$(tail -n +$((before + 1)) "$log" | grep -c '^GET /')" -eq 1
check "  and npc(5) shows its selected look pixel-doubled" look category-5 5
move_to $(d $((888 - 43 + 18))) $(d 9)
check "the close button shows its hover look pixel-doubled" look hover-close 5 --hover close
move_to $(d 250) $(d 20)
check "  and its normal look once the pointer leaves" look unhover-close 5
move_to $(d $((709 + 20))) $(d $((45 + 6)))
check "a link label shows the hand pointer at the scale" pointer_is hand
check "  enlarged in blocks, not smoothed" pointer_blocks
move_to $(d 250) $(d 20)
check "  and the arrow once the pointer leaves" pointer_is other

# The window manager's icons: the art for every size, so that a task bar
# at the scale takes the one for its size in the screen's pixels.
wm_icon_sizes() {
  local sizes
  sizes=$(xprop -id "$win" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | grep -o '^Icon ([0-9]*' |
    grep -o '[0-9]*$' | sort -nu | tr '\n' ' ')
  echo "sizes: $sizes"
  [[ $sizes == "16 22 24 32 48 64 " ]]
}
check "the window's icon is offered at 16, 22, 24, 32, 48 and 64 pixels" wm_icon_sizes

# --- dragging ---------------------------------------------------------------------
geometry
x0=$X y0=$Y
drag 1 $(d 250) $(d 20) -120 80
check "a drag on the title band moves the window by the dragged distance" \
  wait_for 10 position_is $((x0 - 120)) $((y0 + 80))
check "  and the frame is still the art pixel-doubled" look after-drag 5

# --- the tray icon ------------------------------------------------------------------
# Drawn at the tray's height in the screen's pixels, from the art made for
# that size: where the art is opaque the screen shows it pixel for pixel.
tray_icon_is_art() {
  local icon
  icon=$(tray_icon) || return 1
  shot tray
  eval "$(xdotool getwindowgeometry --shell "$icon")"
  "$PY" -c 'import sys, os
from PIL import Image
x, y, w, h = (int(v) for v in sys.argv[3:7])
side = min(w, h)
art = sys.argv[2] % side
if not os.path.exists(art):
    print("no art drawn for %d pixels" % side); sys.exit(1)
want = Image.open(art).convert("RGBA")
got = Image.open(sys.argv[1]).convert("RGB")
x0, y0 = x + (w - side) // 2, y + (h - side) // 2
opaque = [(i, j) for j in range(side) for i in range(side) if want.getpixel((i, j))[3] == 255]
bad = [(i, j) for i, j in opaque if got.getpixel((x0 + i, y0 + j)) != want.getpixel((i, j))[:3]]
print("%d x %d icon window, %d opaque pixels of the %d-pixel art, %d unlike it" % (w, h, len(opaque), side, len(bad)))
sys.exit(0 if len(opaque) > 100 and not bad else 1)' "$work/tray.png" "$SRC/frame/art/icons/kivo-%d.png"     "$X" "$Y" "$WIDTH" "$HEIGHT"
}
start_tray
check "the icon shows in the tray" wait_for 20 tray_icon
check "  drawn from its art for the tray's height, pixel for pixel" wait_for 10 tray_icon_is_art

# --- the about box, from the tray's menu ----------------------------------------------
about_box() { xdotool search --onlyvisible --name '^关于我们$' 2>/dev/null | head -1; }
has_about_box() { [[ -n $(about_box) ]]; }
about_size_is() { [[ $(xwininfo -id "$(about_box)" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }') == "$1" ]]; }
# Its picture (about.gif at 16,24) where the art is opaque: each pixel a
# block of 2 x 2 of the art's colour.
about_picture_doubled() {
  import -window "$(about_box)" "png:$work/about.png" || return 1
  "$PY" -c 'import sys
from PIL import Image
s = int(sys.argv[3])
art = Image.open(sys.argv[2]).convert("RGBA")
got = Image.open(sys.argv[1]).convert("RGB")
opaque = [(x, y) for y in range(art.height) for x in range(art.width) if art.getpixel((x, y))[3] == 255]
bad = sum(1 for x, y in opaque for j in range(s) for i in range(s)
          if got.getpixel((16 * s + x * s + i, 24 * s + y * s + j)) != art.getpixel((x, y))[:3])
print("%d opaque pixels of the picture, %d screen pixels unlike them" % (len(opaque), bad))
sys.exit(0 if opaque and bad == 0 else 1)' "$work/about.png" "$SRC/frame/art/about.gif" "$S"
}
tray_menu Down Down Down Return
check "tray menu 关于我们 opens the about box" wait_for 10 has_about_box
check "  its client area is 596 x 330 screen pixels" wait_for 10 about_size_is $(d 298)x$(d 165)
check "  its picture is the art pixel-doubled" wait_for 10 about_picture_doubled

echo "passed $passed, failed $failed"
((failed == 0))
