# The bookkeeping every Wine end-to-end script shares, sourced after it set
# `suite` (its name in messages): pass/fail counts, check, die, poll, and
# the clean-up on exit that ends this run's own wineserver (never another
# prefix's) and the processes in `pids`, and removes `work` unless
# KIVO_E2E_KEEP=1. A run that stops before setting `finished=1` fails.
passed=0
failed=0
finished=0
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
  echo "$suite: $*" >&2
  fail "set-up" "$*"
  exit 1
}

cleanup() {
  local status=$? pid
  # A run that stops before its last check must not read as a pass.
  if ((!finished)); then
    fail "the run reaches its end" "stopped early with status $status"
  fi
  # Our prefix's wineserver ends every Windows process of this run.
  if [[ -n $prefix && -d $prefix ]]; then WINEPREFIX=$prefix wineserver -k 2>/dev/null; fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  if [[ -n $work && ${KIVO_E2E_KEEP:-0} == 1 ]]; then
    echo "kept $work"
  elif [[ -n $work ]]; then
    rm -rf "$work"
  fi
  echo "$passed passed, $failed failed in $SECONDS s"
  ((finished)) || exit 1
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

# start_display FIRST LAST W H: Xvfb at W x H on the first free display
# among :FIRST..:LAST, with openbox; sets display and DISPLAY.
start_display() {
  local n
  display=""
  for ((n = $1; n <= $2; n++)); do
    if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=:$n; break; fi
  done
  [[ -n $display ]] || die "no free X display among :$1..:$2"
  Xvfb "$display" -screen 0 "$3x$4x24" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  poll 10 test -e "/tmp/.X11-unix/X${display#:}" || die "Xvfb did not start on $display"
  openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
}

# start_site: kivo-site ($site_bin) on port 8080, logging to site_log; sets
# site_log and site_pid.
port_open() { (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; }
start_site() {
  if port_open; then
    die "port 8080 is already in use; the program's site address is fixed at 127.0.0.1:8080"
  fi
  site_log=$work/site.log
  : >"$site_log"
  if [[ $site_bin == *.exe ]]; then
    # The Windows build of the site, under Wine in this run's prefix (boot
    # it first); Wine shows the host's root as drive Z:.
    wine "$site_bin" --port 8080 --log "Z:${site_log//\//\\}" >"$work/site.out" 2>&1 &
  else
    "$site_bin" --port 8080 --log "$site_log" >"$work/site.out" 2>&1 &
  fi
  site_pid=$!
  pids+=("$site_pid")
  poll 20 port_open || die "kivo-site did not start: $(cat "$work/site.out")"
}

# ui_fonts: links the CJK fonts into the prefix and sets ui_font, simsun and
# latin_px. Wine has no SimSun, the default GUI font of a Chinese system
# (12-pixel lines, Chinese glyphs 12 and Latin ones 6 pixels wide).
# WenQuanYi Zen Hei Mono has the same advances at 12 pixels, so it stands in
# for it; Micro Hei (Latin 7 pixels wide) only when Zen Hei is not installed.
# font_substitutes prints the registry lines that name them.
ui_fonts() {
  local wqy=/usr/share/fonts/truetype/wqy
  ui_font="WenQuanYi Micro Hei"
  simsun="WenQuanYi Micro Hei Mono"
  latin_px=7
  ln -s "$wqy/wqy-microhei.ttc" "$prefix/drive_c/windows/Fonts/" || die "cannot link the CJK font"
  if [[ -f $wqy/wqy-zenhei.ttc ]]; then
    ln -s "$wqy/wqy-zenhei.ttc" "$prefix/drive_c/windows/Fonts/" || die "cannot link the CJK font"
    simsun="WenQuanYi Zen Hei Mono"
    latin_px=6
  fi
  echo "SimSun stands for: $simsun"
}
font_substitutes() {
  cat <<EOF
[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]
"Microsoft YaHei"="$ui_font"
"SimSun"="$simsun"
"NSimSun"="$simsun"
"MS Shell Dlg"="$ui_font"
"MS Shell Dlg 2"="$ui_font"
EOF
}

# desktop_registry W H: the registry lines that run every program of the
# prefix in one virtual desktop of that size (the screen's, so it sits at
# the screen's origin) with Wine's taskbar, which makes the work area
# smaller than the screen; its right end is the notification area.
desktop_registry() {
  cat <<EOF
[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="kivo"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"kivo"="$1x$2"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops\\kivo]
"EnableShell"=dword:00000001
EOF
}

# apply_registry FILE: imports a .reg file into the prefix, then lets the
# prefix's first session end before the program starts: a session still
# ending beside the program's (two services.exe in one prefix) keeps ending
# rpcss.exe, and every navigation then waits seconds for a new one.
apply_registry() {
  wine regedit /S "$(winepath -w "$1")" || die "cannot write the prefix's registry"
  wineserver -w
}

winctl() { wine "$winctl_exe" "$@" 2>/dev/null | tr -d '\r'; }
# read_rect: the main window's corners (wl wt wr wb), whether it shows,
# is minimized or maximized, and the work area (al at ar ab).
read_rect() {
  local out
  out=$(winctl rect) || return 1
  read -r _ wl wt wr wb _ visible _ iconic _ zoomed <<<"$(grep '^window' <<<"$out")"
  read -r _ al at ar ab <<<"$(grep '^workarea' <<<"$out")"
}

# text_height SHOT X Y W H MIN MAX: the ink of the dark text inside that
# box of the screenshot is MIN to MAX pixels high.
text_height() {
  "$py" - "$@" <<'EOF'
import sys
from PIL import Image
shot, (x, y, w, h, low, high) = sys.argv[1], map(int, sys.argv[2:])
box = Image.open(shot).convert("RGB").crop((x, y, x + w, y + h))
rows = [r for r in range(box.height) if any(sum(box.getpixel((c, r))) < 300 for c in range(box.width))]
height = rows[-1] - rows[0] + 1 if rows else 0
print(f"text ink height: {height} pixels")
sys.exit(0 if low <= height <= high else 1)
EOF
}

# boot_prefix: a fresh prefix at $prefix. No Mono, no Gecko (their install
# dialogs would stop the run; without Gecko the browser control shows no
# page but still requests it), and no menu builder, which would copy Start
# menu shortcuts into this machine's own menus.
boot_prefix() {
  export WINEPREFIX=$prefix WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  local start=$SECONDS
  wine wineboot -i >"$work/wineboot.log" 2>&1 || die "wineboot failed: $(tail -5 "$work/wineboot.log")"
  echo "prefix ready in $((SECONDS - start)) s"
}

# The notification icon's menu and the about box, for scripts that define
# winctl and have found dx, dy (the desktop) and icon_x, icon_y (tray_icon).
menu_open() {
  local out
  out=$(winctl menu)
  read -r _ open menu_l menu_t menu_r menu_b <<<"$out"
  [[ $open == 1 ]]
}
menu_closed() { ! menu_open; }
tray_click() { xdotool mousemove "$icon_x" "$icon_y" click "$1"; }
# tray_menu: right click on the icon; true once its menu shows.
tray_menu() {
  tray_click 3
  poll 20 menu_open
}
# The menu's items: 显示窗口, 官方主页, -, 关于我们, -, 退出软件. Under Wine the
# keyboard reaches a menu only while the program has a window on show (a
# click on the taskbar gives the X focus to the taskbar's own X window), so
# the first and last item are chosen with the mouse whatever the window.
choose_keys() { xdotool key --delay 60 "$@"; }
choose_first() { xdotool mousemove $((dx + (menu_l + menu_r) / 2)) $((dy + menu_t + 6)) sleep 0.3 click 1; }
choose_last() { xdotool mousemove $((dx + (menu_l + menu_r) / 2)) $((dy + menu_b - 6)) sleep 0.3 click 1; }
about_l="" about_t="" about_r="" about_b="" about_cw="" about_ch="" about_owned=""
about_x="" about_y="" close_x="" close_y="" about_focus=""
about_shown() {
  local out
  out=$(winctl about) || return 1
  read -r _ about_l about_t about_r about_b _ about_cw about_ch _ visible _ about_owned \
    <<<"$(grep '^about' <<<"$out")"
  read -r _ about_x about_y <<<"$(grep '^origin' <<<"$out")"
  read -r _ close_x close_y <<<"$(grep '^closebox' <<<"$out")"
  about_focus=$(grep '^focus' <<<"$out")
  [[ $visible == 1 ]]
}
# Gone: destroyed (the program unloads the box); hidden: not on show, as
# when the tray menu's owner is loaded without being shown.
about_gone() { ! winctl about >/dev/null; }
about_hidden() { ! about_shown; }
open_about() {
  tray_menu || return 1
  choose_keys Down Down Down Return
  poll 20 about_shown
}

# tray_icon [SIZE]: sets icon_x, icon_y (screen) when the program's icon shows in
# the taskbar of the Wine desktop at dx, dy; needs winctl, shot, py and
# src. The icon is no window of its own: the taskbar draws it at its right
# end, so it is found on the screen (the application icon's SIZE x SIZE
# image, exactly; 16 by default).
tray_icon() {
  local tb out size=${1:-16}
  tb=$(winctl tray | awk '/^taskbar/ {print $2, $3, $4, $5}')
  [[ -n $tb ]] || return 1
  shot tray
  # shellcheck disable=SC2086  # the taskbar's four numbers
  out=$("$py" - "$work/tray.png" "$src/frame/art/app.ico" "$size" "$dx" "$dy" $tb <<'EOF'
import sys
from collections import Counter
from PIL import Image
shot, ico_path, s, dx, dy, l, t, r, b = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:])
strip = Image.open(shot).convert("RGB").crop((dx + r - 120, dy + t, dx + r, dy + b))
back = Counter(strip.getdata()).most_common(1)[0][0]
pts = [(x, y) for y in range(strip.height) for x in range(strip.width)
       if strip.getpixel((x, y)) != back]
if not pts:
    sys.exit(1)
x0, y0 = min(p[0] for p in pts), min(p[1] for p in pts)
icon = Image.open(ico_path).ico.getimage((s, s)).convert("RGBA")
want = Image.new("RGBA", (s, s), back + (255,))
want.alpha_composite(icon)
# The image's first opaque column and row are where its ink starts.
ink = icon.getchannel("A").getbbox()
x0, y0 = x0 - ink[0], y0 - ink[1]
got = strip.crop((x0, y0, x0 + s, y0 + s))
if list(got.getdata()) != list(want.convert("RGB").getdata()):
    sys.exit(1)
print(dx + r - 120 + x0 + s // 2, dy + t + y0 + s // 2)
EOF
  ) || return 1
  read -r icon_x icon_y <<<"$out"
}
