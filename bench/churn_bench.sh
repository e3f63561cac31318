#!/usr/bin/env bash
# Memory of the running program under use: on a private Xvfb display with
# openbox, against the demo site, 200 category clicks (each waited for in
# the site's log) and then 200 searches typed into the search box, with the
# whole process tree's PSS and private dirty memory sampled every 50 steps.
# What grows beyond the engine's page cache would show as a steady climb.
# Figures only: nothing passes or fails.
#
# usage: bench/churn_bench.sh [--clicks N] [--searches N] [--build DIR]
set -uo pipefail

SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
CLICKS=200
SEARCHES=200
BUILD=$SRC/build/linux
while (($#)); do
  case $1 in
    --clicks) CLICKS=$2; shift 2 ;;
    --searches) SEARCHES=$2; shift 2 ;;
    --build) BUILD=$(cd "$2" && pwd); shift 2 ;;
    *) sed -n '9p' "$0" >&2; exit 2 ;;
  esac
done
[[ $CLICKS =~ ^[0-9]+$ && $SEARCHES =~ ^[0-9]+$ ]] || { echo "counts are whole numbers" >&2; exit 2; }

if [[ -z ${KIVO_BENCH_NETNS:-} ]]; then
  if [[ ! -x $BUILD/kivo || ! -x $BUILD/site/kivo-site ]]; then
    (cd "$SRC" && cmake --preset linux && cmake --build --preset linux) || exit 1
  fi
  # The site's port is fixed: the run gets a network of its own.
  # shellcheck disable=SC2016  # expanded by the inner shell
  KIVO_BENCH_NETNS=1 exec unshare --net -- bash -c 'ip link set lo up && exec bash "$0" "$@"' \
    "$0" --clicks "$CLICKS" --searches "$SEARCHES" --build "$BUILD"
fi

# shellcheck source=bench/lib.sh
source "$SRC/bench/lib.sh"
bench_begin kivo-churn
trap 'exit 143' TERM INT

Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset 5>"$work/display" >/dev/null 2>&1 &
pids+=($!)
wait_for 10 test -s "$work/display" || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
wait_for 10 xdpyinfo || { echo "Xvfb does not answer"; exit 1; }
openbox >/dev/null 2>&1 &
pids+=($!)
wait_for 15 wmctrl -m || { echo "openbox did not start"; exit 1; }
log=$work/site.log
"$BUILD/site/kivo-site" --port 8080 --log "$log" >"$work/site.out" 2>&1 &
pids+=($!)
wait_for 10 grep -q listening "$work/site.out" || { echo "the site did not start"; exit 1; }

mkdir -m 700 "$work/run"
XDG_RUNTIME_DIR=$work/run XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data \
  XDG_CONFIG_HOME=$work/config NO_AT_BRIDGE=1 "$BUILD/kivo" >"$work/kivo.log" 2>&1 &
kivo=$!
pids+=($kivo)
find_window() { xdotool search --onlyvisible --name '^Kivo手机电影下载器$' | head -1; }
wait_for 30 find_window || { echo "no window"; exit 1; }
win=$(find_window)
eval "$(xdotool getwindowgeometry --shell "$win" | sed 's/^/WIN_/')"
requests() { grep -c '^GET ' "$log"; }
wait_for 30 grep -q '^GET //xiazai/ 200' "$log" || { echo "no home page"; exit 1; }
sleep 3

memory() {  # prints "PSS_KB DIRTY_KB PROCESSES" of the program's tree
  local tree=($kivo) i=0 p
  while ((i < ${#tree[@]})); do
    for p in $(pgrep -P "${tree[i]}"); do tree+=("$p"); done
    i=$((i + 1))
  done
  for p in "${tree[@]}"; do cat "/proc/$p/smaps_rollup" 2>/dev/null; done |
    awk -v n=${#tree[@]} '/^Pss:/ { pss += $2 } /^Private_Dirty:/ { dirty += $2 }
      END { print pss, dirty, n }'
}
samples=$work/samples
sample() {  # sample WHAT STEP
  echo "$1 $2 $(memory)" >>"$samples"
  tail -1 "$samples"
}
sample start 0

# Categories 3..13 and 2 in turn, so every click asks for a page; each is
# waited for in the site's log before the next.
# xdotool's --sync waits for the pointer to move, forever when it is already
# there: every click arrives from a step beside its spot.
click_at() {
  xdotool mousemove $((WIN_X + $1 - 1)) $((WIN_Y + $2))
  xdotool mousemove --sync $((WIN_X + $1)) $((WIN_Y + $2)) click 1
}
for ((i = 1; i <= CLICKS; i++)); do
  k=$((3 + (i - 1) % 12))
  ((k == 14)) && k=2
  before=$(requests)
  click_at $((6 + 65)) $((85 + (k - 2) * 39 + 19))
  wait_for 10 bash -c "test \$(grep -c '^GET ' '$log') -gt $before" ||
    echo "click $i (category $k): no request"
  ((i % 50 == 0)) && sample clicks "$i"
done

for ((i = 1; i <= SEARCHES; i++)); do
  before=$(grep -c '^GET /e/search/' "$log")
  click_at 400 50
  xdotool key ctrl+a BackSpace
  xdotool type --delay 20 "film $i"
  xdotool key Return
  wait_for 10 bash -c "test \$(grep -c '^GET /e/search/' '$log') -gt $before" ||
    echo "search $i: no request"
  ((i % 50 == 0)) && sample searches "$i"
done
sleep 3
sample settled "$((CLICKS + SEARCHES))"

/usr/bin/python3 - "$samples" <<'PY'
import sys
rows = [l.split() for l in open(sys.argv[1])]
base = int(rows[0][2])
print(f"\n| after | step | PSS | private dirty | processes | PSS vs start |")
print("|---|---|---|---|---|---|")
for what, step, pss, dirty, n in rows:
    print(f"| {what} | {step} | {int(pss) / 1024:.0f} MB | {int(dirty) / 1024:.0f} MB | {n} |"
          f" {100 * (int(pss) - base) / base:+.1f} % |")
PY
echo "site log: $(requests) requests"
