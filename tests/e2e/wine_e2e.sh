#!/usr/bin/env bash
# End-to-end run of the Windows build (kivo.exe) under Wine, on its own Xvfb
# display, in a fresh Wine prefix, against kivo-site on port 8080: the window
# is checked pixel by pixel against the art and driven with real mouse and
# keyboard input. It must leave nothing behind: it ends only the processes it
# started, stops only its own prefix's wineserver and removes its temp dir.
#
# usage: wine_e2e.sh KIVO_EXE KIVO_SITE_BIN SOURCE_DIR
# kivo_winctl.exe (the test tool built beside kivo.exe) must sit next to it.
# KIVO_E2E_PAINT_RUNS=N first measures start-to-first-paint N times;
# KIVO_E2E_KEEP=1 keeps the temp dir (screenshots, logs) for a look after.
set -uo pipefail

if (($# != 3)); then
  echo "usage: $0 KIVO_EXE KIVO_SITE_BIN SOURCE_DIR" >&2
  exit 2
fi
kivo_exe=$(readlink -f "$1")
site_bin=$(readlink -f "$2")
src=$(readlink -f "$3")
winctl_exe=$(dirname "$kivo_exe")/kivo_winctl.exe
art=$src/frame/art
py=/usr/bin/python3
compare=$src/tests/e2e/frame_compare.py
x_cursor=$src/platform/win32/tools/x_cursor.py
paint_runs=${KIVO_E2E_PAINT_RUNS:-1}

readonly caption="Kivo手机电影下载器"
readonly width=888 height=700
readonly screen_w=1280 screen_h=1024

passed=0
failed=0
pids=()
work=""
prefix=""

pass() { passed=$((passed + 1)); echo "PASS: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1${2:+ ($2)}"; }
# check NAME COMMAND...: one test case.
check() {
  local name=$1
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}
die() {
  echo "e2e_wine: $*" >&2
  fail "set-up" "$*"
  exit 1
}

cleanup() {
  local pid
  # Our prefix's wineserver ends every Windows process of this run.
  if [[ -n $prefix && -d $prefix ]]; then WINEPREFIX=$prefix wineserver -k 2>/dev/null; fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  if [[ -n $work && ${KIVO_E2E_KEEP:-0} == 1 ]]; then
    echo "kept $work"
  elif [[ -n $work ]]; then
    rm -rf "$work"
  fi
  echo "$passed passed, $failed failed"
}
trap cleanup EXIT

# poll SECONDS COMMAND...: true as soon as COMMAND succeeds.
poll() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS >= deadline)) && return 1
    sleep 0.1
  done
}

for tool in wine Xvfb openbox xdotool xprop xwininfo import "$py"; do
  command -v "$tool" >/dev/null || die "missing tool: $tool"
done
for file in "$kivo_exe" "$winctl_exe" "$site_bin" "$compare" "$x_cursor"; do
  [[ -f $file ]] || die "missing file: $file"
done

work=$(mktemp -d /tmp/kivo-wine-e2e.XXXXXX)
prefix=$work/prefix

# --- display ---------------------------------------------------------------
display=""
for n in 91 92 93 94 95 96 97 98 99; do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=:$n; break; fi
done
[[ -n $display ]] || die "no free X display among :91..:99"
Xvfb "$display" -screen 0 ${screen_w}x${screen_h}x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
poll 10 test -e "/tmp/.X11-unix/X${display#:}" || die "Xvfb did not start on $display"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)

# --- site ------------------------------------------------------------------
port_open() { (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; }
if port_open; then
  die "port 8080 is already in use; the program's site address is fixed at 127.0.0.1:8080"
fi
site_log=$work/site.log
: >"$site_log"
"$site_bin" --port 8080 --log "$site_log" >"$work/site.out" 2>&1 &
site_pid=$!
pids+=("$site_pid")
poll 10 port_open || die "kivo-site did not start: $(cat "$work/site.out")"

# --- Wine prefix -----------------------------------------------------------
# No Mono, no Gecko: their install dialogs would stop the run. Without Gecko
# the browser control shows no page but still requests it.
export WINEPREFIX=$prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
boot_start=$SECONDS
wine wineboot -i >"$work/wineboot.log" 2>&1 || die "wineboot failed: $(tail -5 "$work/wineboot.log")"
echo "prefix ready in $((SECONDS - boot_start)) s"
ln -s /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$prefix/drive_c/windows/Fonts/" ||
  die "cannot link the CJK font"
# Every program of the prefix runs in one virtual desktop the size of the
# screen (so it sits at the screen's origin) with Wine's taskbar, which
# makes the work area smaller than the screen.
cat >"$work/setup.reg" <<'EOF'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"Microsoft YaHei"="WenQuanYi Micro Hei"
"SimSun"="WenQuanYi Micro Hei"
"MS Shell Dlg"="WenQuanYi Micro Hei"
"MS Shell Dlg 2"="WenQuanYi Micro Hei"

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="kivo"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"kivo"="1280x1024"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops\kivo]
"EnableShell"=dword:00000001
EOF
wine regedit /S "$(winepath -w "$work/setup.reg")" || die "cannot write the prefix's registry"

winctl() { wine "$winctl_exe" "$@" 2>/dev/null | tr -d '\r'; }

# expected R G B of frame pixel (X, Y) on a W x H window, from the art.
expected_pixel() {
  "$py" - "$src" "$@" <<'EOF'
import sys
sys.path.insert(0, sys.argv[1] + "/tests/e2e")
import frame_compare
src, x, y, w, h, sel = sys.argv[1], *map(int, sys.argv[2:])
print(*frame_compare.expected_frame(src + "/frame/art", w, h, sel).getpixel((x, y)))
EOF
}

# --- start-up and first paint ------------------------------------------------
# First paint: kivo_winctl watches the screen for a title-band pixel of the
# window's final look; the time runs from launching kivo.exe (Wine's start
# included) to the moment that pixel is on screen.
readonly paint_x=250 paint_y=40
read -r pr pg pb < <(expected_pixel $paint_x $paint_y "$width" "$height" 2)
paint_colour=$(printf '%02X%02X%02X' "$pr" "$pg" "$pb")
kivo_pid=""
paint_ms=""
# Starts kivo.exe; sets kivo_pid, and paint_ms unless no paint showed.
launch_measured() {
  local watch_out=$work/watch.out t0 painted
  : >"$watch_out"
  paint_ms=""
  wine "$winctl_exe" watch $paint_x $paint_y "$paint_colour" 60 >"$watch_out" 2>/dev/null &
  local watch_pid=$!
  pids+=("$watch_pid")
  poll 30 grep -q ready "$watch_out" || die "kivo_winctl did not start"
  t0=$(date +%s%3N)
  wine "$kivo_exe" >>"$work/kivo.out" 2>&1 &
  kivo_pid=$!
  pids+=("$kivo_pid")
  wait "$watch_pid"
  painted=$(tr -d '\r' <"$watch_out" | awk '/^painted/ {print $2}')
  [[ -n $painted ]] || return 1
  paint_ms=$((painted - t0))
}
window_gone() { ! winctl rect >/dev/null; }

paint_times=()
for ((run = 1; run < paint_runs; run++)); do
  launch_measured || die "no first paint in run $run"
  paint_times+=("$paint_ms")
  kill "$kivo_pid"
  wait "$kivo_pid" 2>/dev/null
  poll 20 window_gone || die "kivo.exe did not go away after run $run"
done
if launch_measured; then
  paint_times+=("$paint_ms")
  pass "window paints its frame"
else
  fail "window paints its frame"
fi
echo "first paint (ms): ${paint_times[*]:-none}"
if ((${#paint_times[@]} > 1)); then
  echo "first paint median (ms): $(printf '%s\n' "${paint_times[@]}" | sort -n |
    awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}')"
fi

# --- geometry ------------------------------------------------------------------
read_rect() {
  local out
  out=$(winctl rect) || return 1
  read -r _ wl wt wr wb _ visible _ iconic _ zoomed <<<"$(grep '^window' <<<"$out")"
  read -r _ al at ar ab <<<"$(grep '^workarea' <<<"$out")"
}
read_rect || die "no main window: $(winctl rect)"
read -r dx dy < <(xwininfo -name "kivo - Wine desktop" |
  awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
[[ -n $dx && -n $dy ]] || die "cannot find Wine's virtual desktop window"
check "window is ${width}x${height}" test $((wr - wl)) -eq $width -a $((wb - wt)) -eq $height
check "window starts centred on the screen" \
  test "$wl" -eq $(((screen_w - width) / 2)) -a "$wt" -eq $(((screen_h - height) / 2))
x0=$((dx + wl))
y0=$((dy + wt))

shot() { import -window root "png:$work/$1.png"; }
# frame_matches NAME X Y W H SELECTED: the screen shows the frame within 15 s
# (a click may be handled late, see below); the last comparison is printed.
frame_matches() {
  local deadline=$((SECONDS + 15))
  while :; do
    shot "$1"
    if "$py" "$compare" "$art" "$work/$1.png" "$2" "$3" "$4" "$5" --selected "$6" >"$work/compare.out"; then
      cat "$work/compare.out"
      return 0
    fi
    if ((SECONDS >= deadline)); then
      cat "$work/compare.out"
      return 1
    fi
    sleep 0.5
  done
}

# How many GET requests for exactly TARGET the site has logged.
logged_count() { awk -v t="$1" '$1 == "GET" && $2 == t {n++} END {print n + 0}' "$site_log"; }
# expect_request NAME TARGET: waits for the site to log one more request for TARGET.
declare -A seen
more_logged() { (($(logged_count "$1") > $2)); }
expect_request() {
  local before=${seen[$2]:-0}
  if poll 30 more_logged "$2" "$before"; then
    seen[$2]=$(logged_count "$2")
    pass "$1"
  else
    fail "$1" "no new 'GET $2' in the site log"
  fi
}

click_at() { # window X, window Y
  xdotool mousemove $((x0 + $1)) $((y0 + $2)) click 1
}
click_category() { click_at $((6 + 65)) $((85 + ($1 - 2) * 39 + 19)); }

expect_request "browser loads the home page at start-up" "//xiazai/"
check "frame matches the art at start-up" frame_matches start "$x0" "$y0" $width $height 2

# The windowless images: the logo as it is, the search field's frame laid
# over the title band through its transparent index (the text box covers
# its inside).
images_match() {
  "$py" - "$src" "$work/start.png" "$x0" "$y0" $width $height <<'EOF'
import sys
sys.path.insert(0, sys.argv[1] + "/tests/e2e")
import frame_compare
from PIL import Image
src, shot, x0, y0, w, h = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:])
art = src + "/frame/art"
want = frame_compare.expected_frame(art, w, h, 2)
logo = Image.open(art + "/logo.bmp").convert("RGB")
frame = Image.open(art + "/so.gif").convert("RGBA")
want.paste(logo, (10, 2))
want.paste(frame.convert("RGB"), (300, 35), frame.getchannel("A"))
got = Image.open(shot).convert("RGB").crop((x0, y0, x0 + w, y0 + h))
edit = (308, 42, 308 + 287, 42 + 18)
bad = 0
for left, top, right, bottom in [(10, 2, 10 + logo.width, 2 + logo.height),
                                 (300, 35, 300 + frame.width, 35 + frame.height)]:
    for y in range(top, bottom):
        for x in range(left, right):
            in_edit = edit[0] <= x < edit[2] and edit[1] <= y < edit[3]
            if not in_edit and got.getpixel((x, y)) != want.getpixel((x, y)):
                bad += 1
if bad:
    print(f"image pixels mismatched: {bad}")
sys.exit(1 if bad else 0)
EOF
}
check "logo and search field frame match their pictures" images_match

# The region CreateRoundRectRgn(0, 0, w + 1, h + 1, 4, 4) cuts exactly the
# corner pixel off each corner of the window (GDI leaves out the right and
# bottom edges of the rectangle it is given).
corners_cut() {
  "$py" - "$work/start.png" "$x0" "$y0" $width $height <<'EOF'
import sys
from PIL import Image
shot, x0, y0, w, h = sys.argv[1], *map(int, sys.argv[2:])
im = Image.open(shot).convert("RGB")
desk = im.getpixel((x0 - 3, y0 - 3))
px = lambda x, y: im.getpixel((x0 + x, y0 + y))
cut = [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)]
kept = [(2, 0), (0, 2), (1, 1), (w - 3, 0), (w - 1, 2), (2, h - 1), (0, h - 3), (w - 3, h - 1), (w - 1, h - 3)]
bad = [p for p in cut if px(*p) != desk] + [p for p in kept if px(*p) == desk]
print("corner pixels wrong:", bad) if bad else None
sys.exit(1 if bad else 0)
EOF
}
check "window region rounds the corners" corners_cut

# Wine hands the window's icons to X as _NET_WM_ICON: they must be app.ico's.
icon_matches() {
  local id
  id=$(xdotool search --name "^${caption}\$" | head -1)
  [[ -n $id ]] || return 1
  xprop -id "$id" -notype 32c _NET_WM_ICON >"$work/icon.txt" || return 1
  "$py" - "$work/icon.txt" "$art/app.ico" <<'EOF'
import sys
from PIL import Image
values = [int(v) for v in open(sys.argv[1]).read().split("=", 1)[1].replace(",", " ").split()]
ico = Image.open(sys.argv[2])
i, sizes = 0, 0
while i + 2 <= len(values):
    w, h = values[i], values[i + 1]
    data, i = values[i + 2:i + 2 + w * h], i + 2 + w * h
    ref = ico.ico.getimage((w, h)).convert("RGBA")
    for n, v in enumerate(data):
        r, g, b, a = ref.getpixel((n % w, n // w))
        if (v >> 24) & 255 != a or (a and ((v >> 16) & 255, (v >> 8) & 255, v & 255) != (r, g, b)):
            print(f"icon {w}x{h} differs at pixel {n}")
            sys.exit(1)
    sizes += 1
sys.exit(0 if sizes else 1)
EOF
}
check "window carries the application icon" icon_matches

# Pointer: the hand over la(0), which has it as its icon; the arrow over
# la(1) (custom pointer without an icon) and over the bare surface. Each
# "not the hand" check starts from the hand, so it cannot pass by standing
# still.
pointer_at() { xdotool mousemove $((x0 + $1)) $((y0 + $2)); }
is_hand() { "$py" "$x_cursor" "$art/hand.cur" >/dev/null; }
not_hand() { ! is_hand; }
pointer_at 729 51
check "hand pointer over 求片专区" poll 20 is_hand
pointer_at 250 20
check "no hand pointer over the title band" poll 20 not_hand
pointer_at 729 51
poll 20 is_hand
pointer_at 789 51
check "no hand pointer over 问题反馈" poll 20 not_hand

# --- buttons and links
# Waits are generous: in a fresh prefix Wine's URL moniker checks the running
# object table on the UI thread, which (re)starts the rpcss service and can
# hold the window for several seconds; the click is then handled late. ---------------------------------------------------------
category_path() {
  local paths=("" "" "xiazai/" "xiazai/2.html" "xiazai/3.html" "xiazais/index.html" "tv/"
    "animation/" "mtv/" "arts/" "drama/" "action/" "romance/" "horror/")
  echo "/${paths[$1]}"
}
click_category 5
expect_request "category 手机电影 opens its page" "$(category_path 5)"
check "category 手机电影 shows as selected" frame_matches selected5 "$x0" "$y0" $width $height 5
for k in 3 4 6 7 8 9 10 11 12 13 2; do
  click_category "$k"
  expect_request "category $k opens its page" "$(category_path "$k")"
done
check "category 2 shows as selected again" frame_matches selected2 "$x0" "$y0" $width $height 2

search_default="/e/search/?searchget=1&keyboard=3d%E8%82%89%E8%92%B2%E5%9B%A2&show=title"
click_at $((611 + 36)) $((35 + 14))
expect_request "search button searches the default keyword" "$search_default"

# Typed text reaches the program; Enter searches and is not inserted.
click_at 400 51
sleep 0.3
xdotool key End
for _ in $(seq 12); do xdotool key BackSpace; done
xdotool type --delay 40 "kivo 1&2"
sleep 0.3
xdotool key Return
expect_request "Enter in the search box searches what was typed" \
  "/e/search/?searchget=1&keyboard=kivo%201%262&show=title"
text_is() { [[ $(winctl text) == "$1" ]]; }
check "search box keeps the typed text after Enter" poll 20 text_is "kivo 1&2"
for _ in $(seq 12); do xdotool key BackSpace; done
click_at 250 20
check "clicking the window refills an empty search box" poll 20 text_is "3d肉蒲团"

gbook="/e/tool/gbook/?bid=1"
click_at 729 51
expect_request "求片专区 opens the guestbook" "$gbook"
click_at 789 51
expect_request "问题反馈 opens the guestbook" "$gbook"

# --- window states -------------------------------------------------------------
winctl maximize 20 >/dev/null
read_rect
check "maximized window fills the work area" \
  test "$wl $wt $wr $wb" = "$al $at $ar $ab" -a "$zoomed" = 1 -a "$ab" -lt "$screen_h"
check "maximized frame matches the art" frame_matches maximized $((dx + wl)) $((dy + wt)) \
  $((wr - wl)) $((wb - wt)) 2
winctl restore 20 >/dev/null
read_rect
check "restored window is ${width}x${height} again" test $((wr - wl)) -eq $width -a $((wb - wt)) -eq $height
x0=$((dx + wl))
y0=$((dy + wt))

click_at $((width - 70 + 13)) 9
check "minimize button minimizes" poll 20 eval 'read_rect && test "$iconic" = 1'
winctl restore 20 >/dev/null
check "window comes back from the taskbar" poll 20 eval 'read_rect && test "$iconic" = 0 -a "$visible" = 1'
check "frame matches the art after all that" frame_matches again "$x0" "$y0" $width $height 2
click_category 7
expect_request "categories still work afterwards" "$(category_path 7)"
check "category 7 shows as selected" frame_matches selected7 "$x0" "$y0" $width $height 7
click_at $((611 + 36)) $((35 + 14))
expect_request "search still works afterwards" "$search_default"

click_at $((width - 43 + 18)) 9
check "close button hides the window" poll 20 eval 'read_rect && test "$visible" = 0'
check "program keeps running after all that" kill -0 "$kivo_pid"
check "site stayed up" kill -0 "$site_pid"

((failed == 0))
