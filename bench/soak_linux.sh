#!/usr/bin/env bash
# Soak of the Linux program: on the end-to-end suites' desktop (Xvfb,
# openbox, trayer, the demo site), the window is maximized and restored
# 1,000 times (it is not resizable by hand, so that is what resizing means
# here), the pointer makes 10,000 moves across the category and picture
# buttons, 500 category clicks and 200 typed searches go to the site, the
# window is closed to the tray and brought back 100 times and the about box
# opened and closed 100 times. After every tenth of each phase (and after
# its first 100 steps, when a tenth is more) the PSS of the program and all
# its descendants (the engine's web and network processes) is sampled; the
# table and the growth since that first sample are printed, per phase and
# overall (from the first phase's first sample). The growth
# is given twice: of the whole PSS, and of its anonymous and shared-memory
# part. The rest is the libraries' pages, whose share of PSS rises and falls
# by tens of MB as other programs on the machine map the same WebKit and
# LLVM: that is not the program's memory changing.
#
# Memory figures pass or fail nothing. The run fails, loudly, when the
# program dies, when a click, search or hide stops having its effect, or
# when the site's log does not hold one request per click and search.
#
# usage: bench/soak_linux.sh [--scale F] [--build DIR]
#   --scale F multiplies every count (0.05 gives a run of well under a minute).
set -uo pipefail

SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SCALE=1
BUILD=$SRC/build/linux
while (($#)); do
  [[ $1 != --* || $# -ge 2 ]] || { echo "$1 needs a value" >&2; exit 2; }
  case $1 in
    --scale) SCALE=${2:-}; shift 2 ;;
    --build) BUILD=$(cd "${2:-}" && pwd) || exit 2; shift 2 ;;
    *) sed -n '/^# usage:/,/^set -/{/^set -/!p}' "$0" >&2; exit 2 ;;
  esac
done
awk -v s="$SCALE" 'BEGIN { exit !(s ~ /^[0-9]*\.?[0-9]+$/ && s > 0 && s <= 10) }' ||
  { echo "--scale takes a number above 0, at most 10" >&2; exit 2; }
KIVO=$BUILD/kivo
SITE=$BUILD/site/kivo-site
for f in "$KIVO" "$SITE"; do
  [[ -x $f ]] || { echo "$f is missing: cmake --build --preset linux first" >&2; exit 2; }
done

if [[ -z ${KIVO_SOAK_NETNS:-} ]]; then
  # The site's port is fixed: the run gets a network of its own.
  # shellcheck disable=SC2016  # expanded by the inner shell
  KIVO_SOAK_NETNS=1 exec unshare --net -- bash -c 'ip link set lo up && exec bash "$0" "$@"' \
    "$0" --scale "$SCALE" --build "$BUILD"
fi

scaled() {  # scaled COUNT -> COUNT times the scale, at least 1
  awk -v n="$1" -v s="$SCALE" 'BEGIN { v = int(n * s + 0.5); print (v < 1 ? 1 : v) }'
}
RESIZES=$(scaled 1000)
RESIZES=$((RESIZES + RESIZES % 2))  # maximized and restored in pairs
MOVES=$(scaled 10000)
CLICKS=$(scaled 500)
SEARCHES=$(scaled 200)
HIDES=$(scaled 100)
ABOUTS=$(scaled 100)

# A hidden page gives its process back after the program's own default
# time, not the end-to-end suites' short one: hiding here is a person's
# quick trip to the tray.
export KIVO_RELEASE_HIDDEN_AFTER=20
WORK_NAME=kivo-soak
t_start=$SECONDS
# shellcheck source=tests/e2e/linux_desktop.sh
source "$SRC/tests/e2e/linux_desktop.sh"
trap 'exit 143' TERM INT

# The tray must be there for the icon and the hides; the program is started
# again if its icon does not come into the tray that appeared after it.
start_tray
wait_for 10 tray_up || { echo "FAIL: trayer did not start"; exit 1; }
if ! wait_for 10 tray_icon; then
  kill "$kivo_pid"
  wait "$kivo_pid" 2>/dev/null
  "$KIVO" >>"$work/kivo.log" 2>&1 &
  kivo_pid=$!
  pids+=("$kivo_pid")
  wait_for 30 window_found && wait_for 20 tray_icon || { echo "FAIL: no icon in the tray"; exit 1; }
fi
wait_for 30 logged //xiazai/ || { echo "FAIL: the home page was never asked for"; exit 1; }
echo "set up in $((SECONDS - t_start)) s; counts: $RESIZES resizes, $MOVES moves, $CLICKS clicks," \
  "$SEARCHES searches, $HIDES hide/show cycles, $ABOUTS about boxes"

memory() {  # prints "PSS_KB HEAP_KB DIRTY_KB PROCESSES" of the program's tree
  local tree=("$kivo_pid") i=0 p
  while ((i < ${#tree[@]})); do
    for p in $(pgrep -P "${tree[i]}"); do tree+=("$p"); done
    i=$((i + 1))
  done
  for p in "${tree[@]}"; do cat "/proc/$p/smaps_rollup" 2>/dev/null; done |
    awk -v n=${#tree[@]} '/^Pss:/ { pss += $2 } /^Pss_(Anon|Shmem):/ { heap += $2 }
      /^Private_Dirty:/ { dirty += $2 } END { print pss + 0, heap + 0, dirty + 0, n }'
}
samples=$work/samples
: >"$samples"

failures=0
die_loudly() {
  echo "FAIL: $*"
  echo "the program's last words:"
  tail -5 "$work/kivo.log" | sed 's/^/     /'
  exit 1
}
# run_phase NAME COUNT STEP [FLUSH] [PER]: STEP I for I = 1..COUNT, each
# doing PER of the phase's steps (1 unless given); memory sampled after the
# first min(100, COUNT / 10) steps and after every tenth. FLUSH, if not
# empty, runs before each sample (for steps sent in batches). Three failed
# steps in a row, or the program gone, end the run.
run_phase() {
  local name=$1 count=$2 step=$3 flush=${4:-} per=${5:-1} chunk first i in_row=0 t0=$SECONDS
  chunk=$(((count + 9) / 10))
  first=$(((count + 9) / 10))
  ((first * per <= 100)) || first=$(((100 + per - 1) / per))
  for ((i = 1; i <= count; i++)); do
    if "$step" "$i"; then
      in_row=0
    else
      failures=$((failures + 1))
      in_row=$((in_row + 1))
      echo "$name $((i * per)): $(cat "$work/step.err" 2>/dev/null)"
      ((in_row < 3)) ||
        die_loudly "three $name steps in a row failed: the program (or the site) stopped answering"
    fi
    if ((i == first || i % chunk == 0 || i == count)); then
      [[ -n $flush ]] && "$flush"
      alive || die_loudly "the program ended during $name, step $((i * per))"
      [[ $(tail -1 "$samples" 2>/dev/null) == "$name $((i * per)) "* ]] ||
        echo "$name $((i * per)) $(memory)" >>"$samples"
    fi
  done
  echo "$name: $((count * per)) in $((SECONDS - t0)) s"
}
step_error() { echo "$*" >"$work/step.err"; return 1; }

# --- resizes: maximized and restored, in pairs so every sample sees the same size ---
maximized() { geometry; ((W > 888 && H > 700)); }
restored() { geometry; [[ "$W,$H" == "888,700" ]]; }
resize_pair() {
  wmctrl -i -r "$win" -b add,maximized_vert,maximized_horz
  wait_for 10 maximized || { step_error "not maximized: $W x $H"; return; }
  wmctrl -i -r "$win" -b remove,maximized_vert,maximized_horz
  wait_for 10 restored || step_error "not restored: $W x $H"
}
run_phase resizes $((RESIZES / 2)) resize_pair "" 2

# --- pointer moves over the buttons ------------------------------------------------
# Every category button, the search button, minimize, close and the bare
# surface in turn, each a few pixels off the last visit so no move is to
# where the pointer already is; sent in batches, the last move of each
# waited for.
targets=()
for k in $(seq 2 13); do targets+=("71 $(category_y "$k")"); done
targets+=("647 49" "831 9" "863 9" "250 20")
batch=()
move() {
  local t d=$((($1 / ${#targets[@]}) % 7 - 3))
  read -ra t <<<"${targets[$(($1 % ${#targets[@]}))]}"
  batch+=($((t[0] + d)) $((t[1] + d)))
  ((${#batch[@]} < 200)) || flush_moves
}
flush_moves() {
  local args=() j
  ((${#batch[@]})) || return 0
  geometry
  for ((j = 0; j < ${#batch[@]}; j += 2)); do
    args+=(mousemove $((X + batch[j])) $((Y + batch[j + 1])))
  done
  args[-3]="mousemove --sync"  # the last one waited for
  # shellcheck disable=SC2068  # the word split of "mousemove --sync" is meant
  xdotool ${args[@]}
  batch=()
}
run_phase moves "$MOVES" move flush_moves
point_at $((X + 250)) $((Y + 20))

# --- category clicks, each a request in the site's log ----------------------------------
paths=(//xiazai/ /xiazai/ /xiazai/2.html /xiazai/3.html /xiazais/index.html /tv/ /animation/
  /mtv/ /arts/ /drama/ /action/ /romance/ /horror/)
pages_re="^GET ($(IFS='|'; echo "${paths[*]}" | sed 's/\./\\./g')) 200\$"
pages() { grep -cE "$pages_re" "$log"; }
more_pages() { (($(pages) > $1)); }
pages_before=$(pages)
click() {
  local k=$((3 + ($1 - 1) % 12)) before
  ((k == 14)) && k=2
  before=$(pages)
  click_category "$k"
  wait_for 10 more_pages "$before" || step_error "category $k: no request in 10 s"
}
run_phase clicks "$CLICKS" click
clicked=$(($(pages) - pages_before))

# --- searches typed into the box ---------------------------------------------------------
words=(film kivo drama action tv)
searches() { grep -c '^GET /e/search/' "$log"; }
more_searches() { (($(searches) > $1)); }
searches_before=$(searches)
search() {
  local word="${words[$(($1 % ${#words[@]}))]} $1" before
  before=$(searches)
  geometry
  point_at $((X + 400)) $((Y + 50))
  xdotool click 1
  xdotool key --delay 30 ctrl+a BackSpace
  xdotool type --delay 30 "$word"
  xdotool key Return
  wait_for 10 more_searches "$before" || step_error "'$word': no search in 10 s"
  tail -1 "$log" | grep -qF "keyboard=${word// /%20}&" || step_error "'$word': $(tail -1 "$log")"
}
run_phase searches "$SEARCHES" search
searched=$(($(searches) - searches_before))

# --- closed to the tray and shown again with a tray click --------------------------------
hide_show() {
  click_at $((888 - 43 + 18)) 9
  wait_for 10 hidden || { step_error "the close button did not hide the window"; return; }
  click_tray 1 || { step_error "no icon in the tray"; return; }
  wait_for 10 window_found || step_error "a tray click did not show the window"
}
run_phase hide-show "$HIDES" hide_show
geometry  # X and Y were the icon's
point_at $((X + 250)) $((Y + 20))

# --- the about box, from the tray menu, closed with Enter ----------------------------------
about_box() { xdotool search --onlyvisible --name '^关于我们$' 2>/dev/null | head -1; }
has_about_box() { [[ -n $(about_box) ]]; }
no_about_box() { [[ -z $(about_box) ]]; }
about_active() { [[ -n $about && $(xdotool getactivewindow 2>/dev/null) == "$about" ]]; }
about=
about_cycle() {
  tray_menu Down Down Down Return || { step_error "no tray menu"; return; }
  wait_for 10 has_about_box || { step_error "no about box"; return; }
  about=$(about_box)
  wait_for 10 about_active || { step_error "the about box has no focus"; return; }
  xdotool key Return
  wait_for 10 no_about_box || step_error "Enter did not close the about box"
}
run_phase about "$ABOUTS" about_cycle

# --- the program still browses, and every click and search reached the site -----------
click_category 6
wait_for 10 logged /tv/ || die_loudly "after the soak, a category click no longer reaches the site"
alive || die_loudly "the program ended"

/usr/bin/python3 - "$samples" <<'PY'
import sys
rows = [(p, int(s), int(pss), int(heap), int(dirty), int(n)) for p, s, pss, heap, dirty, n in
        (line.split() for line in open(sys.argv[1]))]
phases = list(dict.fromkeys(r[0] for r in rows))
first = {p: next(r for r in rows if r[0] == p) for p in phases}
mb = lambda kb: f"{kb / 1024:.1f} MB"
pct = lambda a, b: f"{100 * (b - a) / a:+.2f} %"
print("\n| phase | step | PSS | PSS anon + shmem | private dirty | processes |"
      " PSS vs phase's first | anon + shmem vs phase's first |")
print("|---|---|---|---|---|---|---|---|")
for p, step, pss, heap, dirty, n in rows:
    print(f"| {p} | {step} | {mb(pss)} | {mb(heap)} | {mb(dirty)} | {n} |"
          f" {pct(first[p][2], pss)} | {pct(first[p][3], heap)} |")
print("\ngrowth: (last sample - sample after the first 100 steps) / that sample")
print(f"  {'phase':10} {'after':>6}  {'PSS':>24} {'':>9}  {'PSS anon + shmem':>24}")
spans = [(p, [r for r in rows if r[0] == p]) for p in phases] + [("overall", rows)]
for p, mine in spans:
    a, b = mine[0], mine[-1]
    print(f"  {p:10} {a[1]:>6}  {mb(a[2]):>10} -> {mb(b[2]):>10} {pct(a[2], b[2]):>9}"
          f"  {mb(a[3]):>10} -> {mb(b[3]):>10} {pct(a[3], b[3]):>9}")
g = 100 * (rows[-1][3] - rows[0][3]) / rows[0][3]
print(f"  overall growth of the program's own memory: {g:+.2f} %"
      f" (target under 5 %: {'met' if g < 5 else 'NOT met'})")
PY

echo "site log: $clicked of $CLICKS category clicks and $searched of $SEARCHES searches arrived"
status=0
((clicked == CLICKS)) || { echo "FAIL: the site saw $clicked category pages for $CLICKS clicks"; status=1; }
((searched == SEARCHES)) || { echo "FAIL: the site saw $searched searches for $SEARCHES"; status=1; }
((failures == 0)) || { echo "FAIL: $failures steps did not have their effect"; status=1; }
echo "soak $( ((status)) && echo FAILED || echo passed) in $((SECONDS - t_start)) s"
exit $status
