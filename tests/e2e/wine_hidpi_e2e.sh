#!/usr/bin/env bash
# The Windows build (kivo.exe) under Wine on a 200 % screen: a fresh prefix
# whose LogPixels is 192, on its own Xvfb display, against kivo-site on port
# 8080. The window must come out twice the size, every pixel of its frame
# the art's pixel doubled, the search box's text drawn at twice the height,
# and pointer input must land on the same buttons as at 100 %. It ends only
# the processes it started and stops only its own prefix's wineserver.
#
# usage: wine_hidpi_e2e.sh KIVO_EXE KIVO_SITE_BIN SOURCE_DIR [DPI]
# DPI defaults to 192; at any other value the sizes are checked and
# screenshots kept (KIVO_E2E_KEEP=1) for a look, the pixels are not.
set -uo pipefail

if (($# < 3 || $# > 4)); then
  echo "usage: $0 KIVO_EXE KIVO_SITE_BIN SOURCE_DIR [DPI]" >&2
  exit 2
fi
kivo_exe=$(readlink -f "$1")
site_bin=$(readlink -f "$2")
src=$(readlink -f "$3")
dpi=${4:-192}
winctl_exe=$(dirname "$kivo_exe")/kivo_winctl.exe
art=$src/frame/art
py=/usr/bin/python3

readonly caption="Kivo手机电影下载器"
readonly width=888 height=700
# Device pixels, rounded half up as the program maps them.
dev() { echo $((($1 * dpi + 48) / 96)); }
readonly screen_w=2400 screen_h=1800

suite=e2e_wine_hidpi
# shellcheck source=tests/e2e/wine_checks.sh
source "$(dirname "$0")/wine_checks.sh"

for tool in wine Xvfb openbox xdotool xwininfo import "$py"; do
  command -v "$tool" >/dev/null || die "missing tool: $tool"
done
for file in "$kivo_exe" "$winctl_exe" "$site_bin"; do
  [[ -f $file ]] || die "missing file: $file"
done

work=$(mktemp -d /tmp/kivo-wine-hidpi.XXXXXX)
prefix=$work/prefix
start_display 71 79 $screen_w $screen_h
start_site
boot_prefix
ui_fonts
# Wine takes the screen's DPI from the user's LogPixels.
cat >"$work/setup.reg" <<EOF
REGEDIT4

$(font_substitutes)

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:$(printf '%08x' "$dpi")

$(desktop_registry $screen_w $screen_h)
EOF
apply_registry "$work/setup.reg"

shown() { read_rect && [[ $visible == 1 ]]; }

wine "$kivo_exe" >>"$work/kivo.out" 2>&1 &
kivo_pid=$!
pids+=("$kivo_pid")
poll 90 shown || die "no main window: $(winctl rect)"
read -r dx dy < <(xwininfo -name "kivo - Wine desktop" |
  awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
[[ -n $dx && -n $dy ]] || die "cannot find Wine's virtual desktop window"

w_dev=$(dev $width)
h_dev=$(dev $height)
check "the window is ${w_dev}x${h_dev} at $dpi DPI" \
  test $((wr - wl)) -eq "$w_dev" -a $((wb - wt)) -eq "$h_dev"
# Polled: once (in one CI run of many) the first read found the window
# elsewhere; where it was is printed so it can be told apart from a window
# that never gets there.
echo "first read: the window at ($wl, $wt)-($wr, $wb), the desktop at ($dx, $dy)"
centred() { read_rect && ((wl == (screen_w - w_dev) / 2 && wt == (screen_h - h_dev) / 2)); }
check "the window starts centred on the screen" poll 10 centred
echo "the window at ($wl, $wt)-($wr, $wb)"
x0=$((dx + wl))
y0=$((dy + wt))

shot() { import -window root "png:$work/$1.png"; }
# frame_doubled SHOT SELECTED [HOVER]: the window in SHOT is the art's frame
# with every pixel a 2 x 2 square: the skin, the logo, the search field's
# frame around its text box and the rounded corners (the page, the labels
# and the inside of the text box are left out).
frame_doubled() {
  "$py" - "$src" "$work/$1.png" "$x0" "$y0" "${frame_w:-$width}" "${frame_h:-$height}" "$2" "${3:-}" <<'EOF'
import sys
sys.path.insert(0, sys.argv[1] + "/tests/e2e")
import frame_compare
from PIL import Image
src, shot, x0, y0, w, h, sel, hover = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:7]), sys.argv[7], sys.argv[8] or None
art = src + "/frame/art"
want = frame_compare.expected_frame(art, w, h, int(sel), hover)
logo = Image.open(art + "/logo.bmp").convert("RGB")
field = Image.open(art + "/so.gif").convert("RGBA")
want.paste(logo, (10, 2))
want.paste(field.convert("RGB"), (300, 35), field.getchannel("A"))
keep = frame_compare.compared_mask(w, h)
for x0_, y0_, x1_, y1_ in [(10, 2, 10 + logo.width, 2 + logo.height),
                          (300, 35, 300 + field.width, 35 + field.height)]:
    for y in range(y0_, y1_):
        for x in range(x0_, x1_):
            keep[y][x] = True
for y in range(42, 60):  # the text box's inside
    for x in range(308, 595):
        keep[y][x] = False
im = Image.open(shot).convert("RGB")
desk = im.getpixel((x0 - 3, y0 - 3))
got = im.crop((x0, y0, x0 + 2 * w, y0 + 2 * h)).load()
bad, total = [], 0
for y in range(h):
    for x in range(w):
        if not keep[y][x]:
            continue
        total += 4
        ref = want.getpixel((x, y))
        for px, py in ((2 * x, 2 * y), (2 * x + 1, 2 * y), (2 * x, 2 * y + 1), (2 * x + 1, 2 * y + 1)):
            if got[px, py] != ref:
                bad.append((px, py, got[px, py], ref))
# The outline: each corner's cut pixel is a 2 x 2 square of the desktop
# (known only where the desktop shows above the window's corner).
for cx, cy in [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)] if x0 >= 3 and y0 >= 3 else []:
    for px, py in ((2 * cx, 2 * cy), (2 * cx + 1, 2 * cy), (2 * cx, 2 * cy + 1), (2 * cx + 1, 2 * cy + 1)):
        total += 1
        if got[px, py] != desk:
            bad.append((px, py, got[px, py], "desktop"))
print(f"device pixels compared: {total}, mismatched: {len(bad)}")
for b in bad[:8]:
    print("  ", b)
sys.exit(1 if bad else 0)
EOF
}
# frame_shows NAME SELECTED [HOVER]: within 15 s.
frame_shows() {
  local deadline=$((SECONDS + 15))
  until shot "$1" && frame_doubled "$@" >"$work/compare.out"; do
    if ((SECONDS >= deadline)); then
      cat "$work/compare.out"
      return 1
    fi
    sleep 0.5
  done
  cat "$work/compare.out"
}

logged_count() { awk -v t="$1" '$1 == "GET" && $2 == t {n++} END {print n + 0}' "$site_log"; }
more_logged() { (($(logged_count "$1") > $2)); }
# Design pixel (X, Y) of the window, as a point on the screen: the middle of
# its device square.
pointer_at() { xdotool mousemove $((x0 + $(dev "$1") + dpi / 192)) $((y0 + $(dev "$2") + dpi / 192)); }

if ((dpi != 192)); then
  shot start
  echo "screenshots in $work (KIVO_E2E_KEEP=1 keeps them)"
  finished=1
  ((failed == 0))
  exit
fi

poll 30 more_logged "//xiazai/" 0 || fail "the home page is asked for at start-up"
check "every frame pixel is the art's pixel doubled" frame_shows start 2

# The search box's text, in the 12-pixel font drawn at 24 pixels: its ink
# (3d肉蒲团, black on white) is 18 to 24 device pixels high where 100 %
# gives 9 to 12.
shot text
check "the search box's text is drawn at twice its height" \
  text_height "$work/text.png" $((x0 + 616)) $((y0 + 84)) 574 36 18 24

# The hand over 求片专区, each of its pixels a 2 x 2 square (a pointer is a
# mask: it grows by whole pixels); the arrow over the bare title band.
x_cursor=$src/platform/win32/tools/x_cursor.py
is_hand() { "$py" "$x_cursor" "$art/hand.cur" 2 >"$work/cursor.out"; }
not_hand() { ! is_hand; }
pointer_at 729 51
check "the hand pointer over 求片专区 is twice its size" poll 20 is_hand
cat "$work/cursor.out"
pointer_at 250 20
check "the arrow over the title band" poll 20 not_hand

# Hover and click land on the button whose design bounds hold the pointer.
pointer_at $((width - 43 + 18)) 9
check "the close button shows its hover look, doubled" frame_shows hoverclose 2 close
pointer_at 71 $((85 + 3 * 39 + 19))
check "category 5 shows its hover look, doubled" frame_shows hover5 2 5
# The last device column of category 5's design bounds (the pointer tests
# count X = Width in): still category 5, not the window's border.
xdotool mousemove $((x0 + $(dev $((6 + 130 + 1))) - 1)) $((y0 + $(dev $((85 + 3 * 39 + 19)))))
check "category 5 keeps its hover look to its last device column" frame_shows edge5 2 5
before=$(logged_count "/xiazais/index.html")
pointer_at 71 $((85 + 3 * 39 + 19))
xdotool click 1
check "a click on category 5 opens its page" poll 30 more_logged "/xiazais/index.html" "$before"
check "category 5 shows as selected, doubled" frame_shows selected5 5

# Maximized, the window fills the work area (in the screen's own pixels)
# and lays out the design size that covers it: still every pixel doubled.
maximized() { read_rect && [[ $zoomed == 1 && "$wl $wt $wr $wb" == "$al $at $ar $ab" ]]; }
winctl maximize 20 >/dev/null
if check "maximized, the window fills the work area" poll 20 maximized; then
  x0=$((dx + wl)) y0=$((dy + wt))
  frame_w=$(((wr - wl) / 2)) frame_h=$(((wb - wt) / 2))
  check "maximized, every frame pixel is still the art's pixel doubled" frame_shows maximized 5
  unset frame_w frame_h
fi
winctl restore 20 >/dev/null
restored() { read_rect && [[ $zoomed == 0 ]] && ((wr - wl == w_dev && wb - wt == h_dev)); }
check "restored, the window is ${w_dev}x${h_dev} again" poll 20 restored
x0=$((dx + wl)) y0=$((dy + wt))

# A drag on the title band moves the window by as many device pixels as
# the pointer went.
in_move_loop() { [[ $(winctl movesize) == "movesize 1" ]]; }
moved_by() { read_rect && ((wl == was_l + $1 && wt == was_t + $2)); }
read_rect
was_l=$wl was_t=$wt
pointer_at 250 20
xdotool mousedown 1
xdotool mousemove_relative 1 1
if poll 20 in_move_loop; then
  for _ in 1 2 3 4; do xdotool mousemove_relative 15 10; done
  # Released once the window has caught up, so a busy machine cannot end
  # the move loop before it saw the last motion.
  poll 10 moved_by 60 40
  xdotool mouseup 1
  if poll 20 moved_by 60 40; then
    pass "a drag on the title band moves the window with the pointer"
  else
    fail "a drag on the title band moves the window with the pointer" \
      "moved by ($((wl - was_l)), $((wt - was_t))), want (60, 40)"
  fi
else
  xdotool mouseup 1
  fail "a drag on the title band moves the window with the pointer" "no move loop"
fi

# The notification icon: the application icon's own 32 x 32 image, the size
# the system asks for at 200 %, not the 16 x 16 one enlarged.
check "the notification icon is the application icon's 32x32 image" poll 30 tray_icon 32

# The about box: its client area doubled, its picture pixel-doubled over
# the form's colour, and its button in the dialog font at the same scale.
about_picture() {
  shot about
  "$py" - "$work/about.png" "$art/about.gif" $((dx + about_x)) $((dy + about_y)) <<'EOF'
import sys
from PIL import Image
shot, gif, x0, y0 = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:])
im = Image.open(shot).convert("RGB")
face = im.getpixel((x0 + 2, y0 + 2))
pic = Image.open(gif).convert("RGBA")
want = Image.new("RGBA", pic.size, face + (255,))
want.alpha_composite(pic)
want = want.convert("RGB").resize((pic.width * 2, pic.height * 2), Image.NEAREST)
got = im.crop((x0 + 32, y0 + 48, x0 + 32 + want.width, y0 + 48 + want.height))
bad = sum(1 for a, b in zip(got.getdata(), want.getdata()) if a != b)
print(f"about picture pixels mismatched: {bad}") if bad else None
sys.exit(1 if bad else 0)
EOF
}
if [[ -n ${icon_x:-} ]] && open_about; then
  check "the about box's client area is 596x330" test "$about_cw $about_ch" = "596 330"
  check "the about box's picture is pixel-doubled" about_picture
  xdotool key Return
  check "Enter closes the about box" poll 20 about_gone
else
  fail "the about box opens from the notification icon's menu"
fi

winctl close >/dev/null
finished=1
((failed == 0))
