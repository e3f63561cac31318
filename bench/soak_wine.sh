#!/usr/bin/env bash
# Soak of the Windows build under Wine: in a fresh prefix whose programs
# share one virtual desktop with a taskbar, against the demo site, kivo.exe
# is maximized and restored 100 times, the pointer makes 1,000 moves across
# the category and picture buttons, 50 category clicks and 20 typed searches
# go to the site, the window is closed to the notification area and brought
# back with a click on the icon 10 times and the about box opened from the
# icon's menu and closed 10 times.
#
# After every tenth of each phase kivo_soak_probe.exe samples, from outside
# the program, GetGuiResources' GDI and USER object counts of kivo.exe (and
# whether Wine implements the call at all), the windows and kernel handles
# of its process and its working set; beside them the Unix side: the PSS of
# the kivo.exe process and, from the X server (xrestop), the windows,
# pixmaps and graphics contexts of its X connection. Counts that must stay
# flat are compared between the first and the last sample of the run.
#
# The run fails when the program dies, a step stops having its effect (a
# click or search missing from the site's log), or an object count grows.
#
# usage: bench/soak_wine.sh [--scale F] [--build DIR] [--site KIVO_SITE]
#   DIR holds kivo.exe, kivo_winctl.exe and kivo_soak_probe.exe (build/windows)
set -uo pipefail

SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SCALE=1
BUILD=$SRC/build/windows
SITE_BIN=$SRC/build/linux/site/kivo-site
while (($#)); do
  [[ $1 != --* || $# -ge 2 ]] || { echo "$1 needs a value" >&2; exit 2; }
  case $1 in
    --scale) SCALE=${2:-}; shift 2 ;;
    --build) BUILD=$(cd "${2:-}" && pwd) || exit 2; shift 2 ;;
    --site) SITE_BIN=$(readlink -f "${2:-}"); shift 2 ;;
    *) sed -n '/^# usage:/,/^set -/{/^set -/!p}' "$0" >&2; exit 2 ;;
  esac
done
awk -v s="$SCALE" 'BEGIN { exit !(s ~ /^[0-9]*\.?[0-9]+$/ && s > 0 && s <= 10) }' ||
  { echo "--scale takes a number above 0, at most 10" >&2; exit 2; }
kivo_exe=$BUILD/kivo.exe
winctl_exe=$BUILD/kivo_winctl.exe
probe_exe=$BUILD/kivo_soak_probe.exe
for f in "$kivo_exe" "$winctl_exe" "$probe_exe" "$SITE_BIN"; do
  [[ -f $f ]] || { echo "$f is missing: build the windows and linux presets first" >&2; exit 2; }
done

if [[ -z ${KIVO_SOAK_NETNS:-} ]]; then
  # The site's port is fixed: the run gets a network of its own.
  # shellcheck disable=SC2016  # expanded by the inner shell
  KIVO_SOAK_NETNS=1 exec unshare --net -- bash -c 'ip link set lo up && exec bash "$0" "$@"' \
    "$0" --scale "$SCALE" --build "$BUILD" --site "$SITE_BIN"
fi

scaled() {  # scaled COUNT -> COUNT times the scale, at least 1
  awk -v n="$1" -v s="$SCALE" 'BEGIN { v = int(n * s + 0.5); print (v < 1 ? 1 : v) }'
}
RESIZES=$(scaled 100)
RESIZES=$((RESIZES + RESIZES % 2))  # ends restored, as it began
MOVES=$(scaled 1000)
CLICKS=$(scaled 50)
SEARCHES=$(scaled 20)
HIDES=$(scaled 10)
ABOUTS=$(scaled 10)

suite=soak_wine
# shellcheck source=tests/e2e/wine_checks.sh
source "$SRC/tests/e2e/wine_checks.sh"
trap 'exit 143' TERM INT
py=/usr/bin/python3
work=$(mktemp -d /tmp/kivo-soak-wine.XXXXXX)
prefix=$work/prefix

# --- the desktop, the site and the prefix ----------------------------------------
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset 5>"$work/display" \
  >"$work/xvfb.log" 2>&1 &
pids+=($!)
poll 10 test -s "$work/display" || die "Xvfb did not start"
DISPLAY=:$(head -1 "$work/display")
export DISPLAY
poll 10 xdpyinfo >/dev/null 2>&1 || die "Xvfb does not answer"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)

port_open() { (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; }
port_open && die "port 8080 is already in use"
site_log=$work/site.log
"$SITE_BIN" --port 8080 --log "$site_log" >"$work/site.out" 2>&1 &
pids+=($!)
poll 10 port_open || die "kivo-site did not start: $(cat "$work/site.out")"

boot_prefix
cat >"$work/setup.reg" <<EOF
REGEDIT4

$(desktop_registry 1280 1024)
EOF
apply_registry "$work/setup.reg"

# --- the probe, asked one line at a time ----------------------------------------
coproc PROBE { wine "$probe_exe" --serve 2>/dev/null; }
pids+=("$PROBE_PID")
ask() {  # ask COMMAND: prints the probe's answer
  local line
  echo "$1" >&"${PROBE[1]}" || return 1
  IFS= read -r -t 30 line <&"${PROBE[0]}" || return 1
  echo "${line%$'\r'}"
}
state_is() { [[ $(ask state) == "$1" ]]; }

# --- the program -------------------------------------------------------------------
t_start=$SECONDS
wine "$kivo_exe" >>"$work/kivo.out" 2>&1 &
kivo_pid=$!
pids+=("$kivo_pid")
poll 60 state_is "main 1 menu 0 about 0" || die "kivo.exe shows no window: $(ask state)"
running() { kill -0 "$kivo_pid" 2>/dev/null; }
# The Unix process that runs kivo.exe in this prefix (the one started above
# once Wine's loader has replaced itself, but found by name to be sure).
unix_pid() {
  local p
  for p in $(pgrep -x kivo.exe); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$prefix" && { echo "$p"; return; }
  done
  return 1
}
poll 20 unix_pid >/dev/null || die "no Unix process for kivo.exe"
upid=$(unix_pid)

read -r _ wl wt _ <<<"$(winctl rect | grep '^window')"
read -r dx dy < <(xwininfo -name "kivo - Wine desktop" |
  awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
[[ -n $wl && -n $dx ]] || die "cannot find the window on the screen"
x0=$((dx + wl)) y0=$((dy + wt))
shot() { import -window root "png:$work/$1.png"; }

icon_x="" icon_y="" src=$SRC # for tray_icon
poll 30 tray_icon || die "no icon in the notification area"
logged() { awk -v t="$1" '$1 == "GET" && $2 == t {n++} END {print n + 0}' "$site_log"; }
poll 60 eval '(($(logged //xiazai/) > 0))' || die "the home page was never asked for"
echo "set up in $SECONDS s (kivo.exe up in $((SECONDS - t_start)) s); counts: $RESIZES resizes," \
  "$MOVES moves, $CLICKS clicks, $SEARCHES searches, $HIDES hide/show cycles, $ABOUTS about boxes"
echo "probe: $(ask count)"

# --- samples ---------------------------------------------------------------------------
samples=$work/samples
: >"$samples"
# The X connections of kivo.exe (Wine opens one per thread that uses X) are
# told apart by their resource base: the high bits of the ids of the
# windows carrying its Unix pid. A connection with no window of its own is
# not seen.
xres() {  # "WINDOWS PIXMAPS GCS PIXMAP_KB" of kivo.exe's X connections
  local bases=() w
  for w in $(xdotool search --pid "$upid" 2>/dev/null); do
    bases+=("$(printf '0x%x' $((w & ~0x1fffff)))")
  done
  xrestop -b -m 1 2>/dev/null | awk -v bases="${bases[*]}" -F ':' '
    BEGIN { split(bases, list, " "); for (i in list) mine[list[i]] = 1 }
    function flush() { if (base in mine) { W += w; P += p; G += g; B += b; n++ } }
    /^[0-9]+ - / { flush(); base = ""; w = p = g = b = 0 }
    { gsub(/^[ \t]+|[ \t]+$/, "", $1); gsub(/^[ \t~]+/, "", $2) }
    $1 == "res_base" { base = ($2 == "0" ? "0x0" : $2) }
    $1 == "windows" { w = $2 } $1 == "pixmaps" { p = $2 } $1 == "GCs" { g = $2 }
    $1 == "pixmap bytes" { b = $2 }
    END { flush(); if (n) print W, P, G, int(B / 1024); else print "- - - -" }'
}
sample() {  # sample PHASE STEP
  local probe pss
  probe=$(ask count)
  [[ $probe == pid* ]] || { echo "probe: $probe"; return 1; }
  pss=$(awk '/^Pss:/ { print $2 }' "/proc/$upid/smaps_rollup" 2>/dev/null)
  read -r xw xp xg xb <<<"$(xres)"
  echo "$1 $2 $probe pss_kb ${pss:-0} xwin $xw xpix $xp xgc $xg xpixkb $xb" >>"$samples"
}

steps_failed=0
step_error() { echo "$*" >"$work/step.err"; return 1; }
# run_phase NAME COUNT STEP [FLUSH]: as in soak_linux.sh; three failed
# steps in a row, or the program gone, end the run.
run_phase() {
  local name=$1 count=$2 step=$3 flush=${4:-} chunk i in_row=0 t0=$SECONDS
  chunk=$(((count + 9) / 10))
  for ((i = 1; i <= count; i++)); do
    if "$step" "$i"; then
      in_row=0
    else
      steps_failed=$((steps_failed + 1))
      in_row=$((in_row + 1))
      echo "$name $i: $(cat "$work/step.err" 2>/dev/null)"
      ((in_row < 3)) ||
        die "three $name steps in a row failed: the program (or the site) stopped answering"
    fi
    if ((i % chunk == 0 || i == count)); then
      [[ -n $flush ]] && "$flush"
      running || die "kivo.exe ended during $name, step $i"
      sample "$name" "$i" || die "no sample after $name $i"
    fi
  done
  echo "$name: $count in $((SECONDS - t0)) s"
}
sample start 0

# --- the phases --------------------------------------------------------------------------
resize() {
  local want=restore answer
  (($1 % 2)) && want=maximize
  answer=$(ask "$want")
  [[ $answer == ok ]] || step_error "$want: $answer"
}
run_phase resizes "$RESIZES" resize

targets=()
for k in $(seq 2 13); do targets+=("71 $((85 + (k - 2) * 39 + 19))"); done
targets+=("647 49" "831 9" "863 9" "250 20")
batch=()
move() {
  local t d=$((($1 / ${#targets[@]}) % 7 - 3))
  read -ra t <<<"${targets[$(($1 % ${#targets[@]}))]}"
  batch+=(mousemove $((x0 + t[0] + d)) $((y0 + t[1] + d)))
  ((${#batch[@]} < 300)) || flush_moves
}
flush_moves() {
  ((${#batch[@]})) || return 0
  batch[-3]="mousemove --sync"
  # shellcheck disable=SC2068  # the word split of "mousemove --sync" is meant
  xdotool ${batch[@]}
  batch=()
}
run_phase moves "$MOVES" move flush_moves
xdotool mousemove $((x0 + 250)) $((y0 + 20))

click_at() { xdotool mousemove $((x0 + $1)) $((y0 + $2)) click 1; }
paths=(//xiazai/ /xiazai/ /xiazai/2.html /xiazai/3.html /xiazais/index.html /tv/ /animation/
  /mtv/ /arts/ /drama/ /action/ /romance/ /horror/)
pages() { awk -v list="${paths[*]}" 'BEGIN { split(list, a, " "); for (i in a) want[a[i]] = 1 }
  $1 == "GET" && ($2 in want) { n++ } END { print n + 0 }' "$site_log"; }
more_pages() { (($(pages) > $1)); }
pages_before=$(pages)
click() {
  local k=$((3 + ($1 - 1) % 12)) before
  ((k == 14)) && k=2
  before=$(pages)
  click_at 71 $((85 + (k - 2) * 39 + 19))
  poll 20 more_pages "$before" || step_error "category $k: no request in 20 s"
}
run_phase clicks "$CLICKS" click
clicked=$(($(pages) - pages_before))

words=(film kivo drama action tv)
searches() { grep -c '^GET /e/search/' "$site_log"; }
more_searches() { (($(searches) > $1)); }
searches_before=$(searches)
search() {
  local word="${words[$(($1 % ${#words[@]}))]} $1" before
  before=$(searches)
  click_at 400 51
  xdotool key --delay 30 End shift+Home BackSpace
  xdotool type --delay 30 "$word"
  xdotool key Return
  poll 20 more_searches "$before" || { step_error "'$word': no search in 20 s"; return; }
  tail -1 "$site_log" | grep -qF "keyboard=${word// /%20}&" || step_error "'$word': $(tail -1 "$site_log")"
}
run_phase searches "$SEARCHES" search
searched=$(($(searches) - searches_before))

tray_click() { xdotool mousemove "$icon_x" "$icon_y" click "$1"; }
hide_show() {
  click_at $((888 - 43 + 18)) 9
  poll 20 state_is "main 0 menu 0 about 0" || { step_error "the close button did not hide"; return; }
  tray_click 1
  poll 20 state_is "main 1 menu 0 about 0" || step_error "a click on the icon did not show the window"
}
run_phase hide-show "$HIDES" hide_show
xdotool mousemove $((x0 + 250)) $((y0 + 20))

# Under Wine the keyboard reaches the icon's menu while the program has a
# window on show, as it has here.
about_cycle() {
  tray_click 3
  poll 20 state_is "main 1 menu 1 about 0" || { step_error "no menu"; return; }
  xdotool key --delay 60 Down Down Down Return
  poll 20 state_is "main 1 menu 0 about 1" || { step_error "no about box: $(ask state)"; return; }
  xdotool key Return
  poll 20 state_is "main 1 menu 0 about 0" || step_error "Enter did not close the about box"
}
run_phase about "$ABOUTS" about_cycle

before=$(logged /tv/)
click_at 71 $((85 + 4 * 39 + 19))
check "after the soak a category click reaches the site" poll 20 eval '(($(logged /tv/) > before))'

# --- the table ---------------------------------------------------------------------------------
"$py" - "$samples" <<'PY' && pass "the object counts stay flat" || fail "the object counts stay flat"
import sys
rows = []
for line in open(sys.argv[1]):
    f = line.split()
    rows.append((f[0], int(f[1]), dict(zip(f[2::2], f[3::2]))))
cols = [("gdi", "GDI"), ("user", "USER"), ("windows", "windows"), ("handles", "handles"),
        ("ws_kb", "working set KB"), ("private_kb", "private KB"), ("pss_kb", "PSS KB"),
        ("xwin", "X windows"), ("xpix", "X pixmaps"), ("xgc", "X GCs"), ("xpixkb", "X pixmap KB")]
# Wine answers 0 for some of what the probe asks (a process's handle count,
# its private bytes): columns with nothing but 0 say so once, below.
silent = [c for c in cols[2:] if all(v.get(c[0]) == "0" for _, _, v in rows)]
cols = [c for c in cols if c not in silent]
print("\n| phase | step | " + " | ".join(c[1] for c in cols) + " |")
print("|---|---|" + "---|" * len(cols))
for phase, step, v in rows:
    print(f"| {phase} | {step} | " + " | ".join(v.get(c[0], "-") for c in cols) + " |")
if all(v["gdi"] == "0" and v["user"] == "0" for _, _, v in rows):
    errors = sorted({v["gui_error"] for _, _, v in rows})
    print(f"\nGetGuiResources gave 0 GDI and 0 USER objects throughout (GetLastError {', '.join(errors)}:"
          " 120 is ERROR_CALL_NOT_IMPLEMENTED): Wine does not count them; the process's windows"
          " and handles and its X connection's windows, pixmaps and GCs stand in for them.")
if silent:
    print("Wine gave 0 throughout for: " + ", ".join(c[1] for c in silent) + " (left out).")
# Flat: no count ends a phase above where it stood after the phase's first
# tenth, nor the run above where it stood after the first phase's.
flat = ["gdi", "user", "windows", "xwin", "xpix", "xgc"]
grew = []
phases = list(dict.fromkeys(p for p, _, _ in rows if p != "start"))
def num(v, k):
    return int(v[k]) if v.get(k, "-").isdigit() else None
print("\nfrom the first sample of a phase to its last (memory in KB):")
spans = [(p, [r for r in rows if r[0] == p]) for p in phases]
spans.append(("overall", [r for r in rows if r[0] != "start"]))
for p, mine in spans:
    a, b = mine[0][2], mine[-1][2]
    parts = []
    for k, title in cols:
        x, y = num(a, k), num(b, k)
        if x is None or y is None:
            continue
        parts.append(f"{title} {x}->{y}")
        if k in flat and y > x:
            grew.append(f"{p}: {title} {x} -> {y}")
    for k in ("ws_kb", "pss_kb"):
        x, y = num(a, k), num(b, k)
        if x and y is not None:
            parts.append(f"{k} {100 * (y - x) / x:+.2f} %")
    print(f"  {p:9} " + ", ".join(parts))
if grew:
    print("grew:", *grew, sep="\n  ")
sys.exit(1 if grew else 0)
PY

echo "site log: $clicked of $CLICKS category clicks and $searched of $SEARCHES searches arrived"
check "one category page in the site's log per click" test "$clicked" -eq "$CLICKS"
check "one search in the site's log per search" test "$searched" -eq "$SEARCHES"
check "every step had its effect" test "$steps_failed" -eq 0
finished=1
((failed == 0))
