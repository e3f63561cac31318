#!/usr/bin/env bash
# Cold starts of the program beside surf, the lightest browser on the same
# engine, read from the X server the same way for both: on a private Xvfb
# display with openbox and trayer, against the demo site, N alternating
# starts each with fresh cache, data, config, runtime and home folders.
# Per start bench/startup_probe.c reports exec -> first top-level window
# viewable, exec -> the program's frame painted (a box of its own art),
# exec -> the page's background colour in a box of the page area,
# and the whole process tree's PSS 3 s later (with its private dirty
# memory, which other WebKit programs on the machine do not move); for the program it then hides
# the window from its tray icon, takes the PSS after a wait and times the
# page's return on the next click. Prints the medians and kivo/surf ratios,
# the program's own start-up timeline (its KIVO_TRACE marks, lined up with
# the exec) and each process's share of the memory.
# Figures only: nothing passes or fails on time.
#
# usage: bench/startup_bench.sh [-n N] [--tray-wait S] [--shots DIR] [--build DIR] [--kivo-env V=X]
#   -n N           starts of each program (3)
#   --tray-wait S  seconds hidden in the tray before the PSS is taken (30)
#   --shots DIR    keep the settled screenshots the colours were taken from,
#                  and the first start's images as the page appeared
#   --build DIR    the build tree holding kivo and site/kivo-site (build/linux)
#   --kivo-env V=X the program runs with this in its environment (repeatable;
#                  KIVO_ACCELERATION=engine measures the composited case)
# The site's port is fixed, so the whole run goes into a private network
# namespace of its own. surf is installed with apt-get when missing.
set -uo pipefail

SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
N=3
TRAY_WAIT=30
SHOTS=
BUILD=$SRC/build/linux
KIVO_ENV=()
while (($#)); do
  case $1 in
    -n) N=$2; shift 2 ;;
    --tray-wait) TRAY_WAIT=$2; shift 2 ;;
    --shots) SHOTS=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
    --build) BUILD=$(cd "$2" && pwd); shift 2 ;;
    --kivo-env)
      [[ $2 =~ ^[A-Z_][A-Z0-9_]*=[^[:space:]]*$ ]] || { echo "--kivo-env NAME=VALUE" >&2; exit 2; }
      KIVO_ENV+=("$2"); shift 2 ;;
    *) sed -n '17,24p' "$0" >&2; exit 2 ;;
  esac
done
[[ $N =~ ^[1-9][0-9]*$ && $TRAY_WAIT =~ ^[0-9]+$ ]] || { echo "N and S are whole numbers" >&2; exit 2; }

if [[ -z ${KIVO_BENCH_NETNS:-} ]]; then
  # Before the namespace: the archive and the build may need the network.
  if ! command -v surf >/dev/null; then
    echo "installing surf (benchmark only)"
    apt-get install -y --no-install-recommends surf >/dev/null ||
      { apt-get update >/dev/null && apt-get install -y --no-install-recommends surf >/dev/null; } ||
      { echo "surf could not be installed" >&2; exit 1; }
  fi
  if [[ ! -x $BUILD/kivo || ! -x $BUILD/site/kivo-site ]]; then
    (cd "$SRC" && cmake --preset linux && cmake --build --preset linux) || exit 1
  fi
  args=(-n "$N" --tray-wait "$TRAY_WAIT" --build "$BUILD")
  [[ -n $SHOTS ]] && args+=(--shots "$SHOTS")
  for v in "${KIVO_ENV[@]}"; do args+=(--kivo-env "$v"); done
  # shellcheck disable=SC2016  # expanded by the inner shell
  KIVO_BENCH_NETNS=1 exec unshare --net -- bash -c 'ip link set lo up && exec bash "$0" "$@"' \
    "$0" "${args[@]}"
fi

KIVO=$BUILD/kivo
SITE=$BUILD/site/kivo-site
HOME_URL=http://127.0.0.1:8080//xiazai/
PY=/usr/bin/python3
# shellcheck source=bench/lib.sh
source "$SRC/bench/lib.sh"
bench_begin kivo-startup
probe_pid=
# The probe first: it ends the program's tree before the desktop goes.
cleanup() {
  [[ -n $probe_pid ]] && kill "$probe_pid" 2>/dev/null && wait "$probe_pid" 2>/dev/null
  bench_end
}
trap cleanup EXIT
trap 'exit 143' TERM INT

probe=$work/startup_probe
cc -O2 -Wall -Wextra -o "$probe" "$SRC/bench/startup_probe.c" -lX11 -lXtst ||
  { echo "the probe does not build (libx11-dev, libxtst-dev)" >&2; exit 1; }

# --- the desktop and the site ------------------------------------------------------
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset 5>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for 10 test -s "$work/display" || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
wait_for 10 xdpyinfo || { echo "Xvfb does not answer"; exit 1; }
# Now and then, on a busy machine, openbox or trayer cannot open a display
# that has just started; a second try does.
start_tried() {  # start_tried NAME READY-COMMAND -- COMMAND...: up to three tries
  local name=$1 ready=$2 try
  shift 3
  for try in 1 2 3; do
    "$@" >"$work/$name.log" 2>&1 &
    pids+=($!)
    wait_for 15 "$ready" && return 0
    kill "$!" 2>/dev/null && wait "$!" 2>/dev/null
    unset 'pids[-1]'
    echo "$name did not start (try $try):" >&2
    sed 's/^/  /' "$work/$name.log" >&2
  done
  return 1
}
wm_up() { wmctrl -m; }
tray_up() { xwininfo -root -tree | grep -q '("panel" "trayer")'; }
start_tried openbox wm_up -- openbox || exit 1
start_tried trayer tray_up -- trayer --edge top --align right --widthtype pixel --width 64 \
  --heighttype pixel --height 24 || exit 1
"$SITE" --port 8080 --log "$work/site.log" >"$work/site.out" 2>&1 &
pids+=($!)
wait_for 10 grep -q listening "$work/site.out" || { echo "the site did not start"; exit 1; }

# --- the two programs ------------------------------------------------------------------
# The page area polled: for the program a box of its browser control, for
# surf one of its client area (all page). Both lie in the body's background
# below the page's footer.
# The program's frame box is a row of the title band's gradient, the last
# part of the frame to show; surf has no frame of its own to wait for.
declare -A CMD AREA FRAME
CMD[kivo]="env ${KIVO_ENV[*]} $KIVO"
AREA[kivo]=400,600,32,16
FRAME[kivo]=400,75,64,1
CMD[surf]="surf $HOME_URL"
AREA[surf]=300,-60,32,16
declare -A COLOR FRAME_COLOR

fresh_env() {  # fresh_env DIR: every folder a start could cache in, new and empty
  rm -rf "$1"
  mkdir -p "$1/cache" "$1/data" "$1/config" "$1/home"
  mkdir -m 700 "$1/run"
  echo XDG_CACHE_HOME="$1/cache" XDG_DATA_HOME="$1/data" XDG_CONFIG_HOME="$1/config" \
    XDG_RUNTIME_DIR="$1/run" HOME="$1/home" NO_AT_BRIDGE=1
}
start() {  # start NAME PROBE-OPTIONS...: one cold start; sets out to the probe's key=value lines
  local name=$1
  shift
  : >"$work/$name.err"
  # In the background, so that a stopped bench stops the probe at once, and
  # the probe ends its tree.
  # shellcheck disable=SC2046,SC2086  # words meant: mktemp's folders and surf's address hold no spaces
  env $(fresh_env "$work/run-$name") KIVO_TRACE=1 "$probe" --area "${AREA[$name]}" "$@" \
    -- ${CMD[$name]} >"$work/probe.out" 2>>"$work/$name.err" &
  probe_pid=$!
  wait "$probe_pid"
  probe_pid=
  out=$(<"$work/probe.out")
}

# The colour each box settles on, from a start that waits until the page is
# still: the page's background, so a box that is not all one colour, or not
# that colour, is a box in the wrong place.
for name in kivo surf; do
  frame_opts=()
  [[ -n ${FRAME[$name]:-} ]] && frame_opts=(--frame-area "${FRAME[$name]}")
  start "$name" --calibrate "$work/$name.ppm" "${frame_opts[@]}"
  COLOR[$name]=$(sed -n 's/^color=//p' <<<"$out")
  share=$(sed -n 's/^share=//p' <<<"$out")
  if [[ -n ${FRAME[$name]:-} ]]; then
    FRAME_COLOR[$name]=$(sed -n 's/^frame_color=//p' <<<"$out")
    frame_share=$(sed -n 's/^frame_share=//p' <<<"$out")
    echo "$name: frame box ${FRAME[$name]} settles on #${FRAME_COLOR[$name]} (share $frame_share)"
    [[ $frame_share == 1.000 ]] || { echo "$name: the frame box is not one colour; see --shots"; exit 1; }
  fi
  if [[ -n $SHOTS ]]; then
    "$PY" -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2])' \
      "$work/$name.ppm" "$SHOTS/$name-settled.png"
  fi
  echo "$name: box ${AREA[$name]} settles on #${COLOR[$name]} (share $share)"
  [[ $share == 1.000 ]] || { echo "$name: the box is not one colour; see --shots"; exit 1; }
done
[[ ${COLOR[kivo]} == "${COLOR[surf]}" ]] ||
  { echo "the two boxes settle on different colours: not the same page background"; exit 1; }

results=$work/results
: >"$results"
for ((i = 1; i <= N; i++)); do
  for name in kivo surf; do
    opts=(--color "${COLOR[$name]}" --pss-after 3000)
    [[ $name == kivo ]] && opts+=(--tray-icon kivo --tray-wait "$TRAY_WAIT")
    [[ -n ${FRAME[$name]:-} ]] &&
      opts+=(--frame-area "${FRAME[$name]}" --frame-color "${FRAME_COLOR[$name]}")
    # The first start's images just after the page appeared (and came back).
    ((i == 1)) && [[ -n $SHOTS ]] && opts+=(--shots "$work/$name")
    start "$name" "${opts[@]}"
    # The program's own marks, as times since the exec.
    marks=$(awk -v at="$(sed -n 's/^exec_at=//p' <<<"$out")" \
      '$1 == "kivo-trace" && !seen[$3]++ { printf "t_%s=%.0f ", $3, $2 - at }' "$work/$name.err")
    echo "$name $(tr '\n' ' ' <<<"$out") $marks" | tee -a "$results"
  done
done

if [[ -n $SHOTS ]]; then
  for ppm in "$work"/*-painted.ppm "$work"/*-shown.ppm; do
    [[ -e $ppm ]] || continue
    "$PY" -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2])' \
      "$ppm" "$SHOTS/$(basename "$ppm" .ppm).png"
  done
fi

"$PY" - "$results" "$N" "$TRAY_WAIT" <<'PY'
import statistics, sys
runs = {"kivo": [], "surf": []}
for line in open(sys.argv[1]):
    name, *pairs = line.split()
    runs[name].append(dict(p.split("=", 1) for p in pairs))
def median(name, key, scale=1.0):
    vals = [float(r[key]) * scale for r in runs[name] if r.get(key, "-") != "-"]
    missing = len(runs[name]) - len(vals)
    return (statistics.median(vals) if vals else None), missing
rows = [
    ("exec -> first window viewable", "viewable_ms", "viewable_ms", 1, "ms"),
    ("exec -> window with its painted frame", "frame_ms", "viewable_ms", 1, "ms"),
    ("exec -> page colour on screen", "painted_ms", "painted_ms", 1, "ms"),
    ("PSS of the tree, page shown 3 s", "pss_kb", "pss_kb", 1 / 1024, "MB"),
    (f"PSS hidden {sys.argv[3]} s (vs surf shown)", "hidden_pss_kb", "pss_kb", 1 / 1024, "MB"),
    ("private dirty, page shown 3 s", "dirty_kb", "dirty_kb", 1 / 1024, "MB"),
    (f"private dirty hidden {sys.argv[3]} s (vs surf shown)", "hidden_dirty_kb", "dirty_kb", 1 / 1024, "MB"),
    ("tray click -> page on screen again", "show_ms", None, 1, "ms"),
    ("looks without the page in the 3 s after", "show_blinks", None, 1, ""),
]
print(f"\nmedians of {sys.argv[2]} cold starts each")
print(f"| {'figure':46} | {'surf':>10} | {'kivo':>10} | ratio |")
print(f"|{'-' * 48}|{'-' * 12}|{'-' * 12}|-------|")
fmt = lambda v, unit: "-" if v is None else f"{v:.0f} {unit}".strip()
for label, kkey, skey, scale, unit in rows:
    k, kmiss = median("kivo", kkey, scale)
    s, smiss = median("surf", skey, scale) if skey else (None, 0)
    ratio = f"{k / s:.2f}" if k is not None and s else "-"
    note = f"  ({kmiss} kivo, {smiss} surf runs never got there)" if kmiss or smiss else ""
    print(f"| {label:46} | {fmt(s, unit):>10} | {fmt(k, unit):>10} | {ratio:>5} |{note}")
procs = {n: median(n, "processes")[0] for n in runs}
print(f"processes in the tree (median): surf {procs['surf']:.0f}, kivo {procs['kivo']:.0f}")
marks = sorted({k for r in runs["kivo"] for k in r if k.startswith("t_")},
               key=lambda k: median("kivo", k)[0])
if marks:
    print("\nthe program's start-up, ms after the exec (median; * read from the screen)")
    screen = {"viewable_ms": "window viewable*", "frame_ms": "frame on screen*",
              "painted_ms": "page colour on screen*"}
    timeline = [(median("kivo", k)[0], k[2:]) for k in marks]
    timeline += [(median("kivo", k)[0], v) for k, v in screen.items() if median("kivo", k)[0] is not None]
    for t, what in sorted(timeline):
        print(f"  {t:7.0f}  {what}")
for when, key in (("page shown 3 s", "procs"), (f"hidden {sys.argv[3]} s", "hidden_procs")):
    for n in runs:
        per = {}
        for r in runs[n]:
            for item in filter(None, r.get(key, "").split(",")):
                comm, pss, dirty = item.rsplit(":", 2)
                per.setdefault(comm, []).append((int(pss), int(dirty)))
        if per:
            parts = ", ".join(f"{c} {statistics.median(p for p, _ in v) / 1024:.0f}"
                              f" ({statistics.median(d for _, d in v) / 1024:.0f} dirty)"
                              for c, v in per.items())
            print(f"PSS by process, {when}, {n} (MB, median): {parts}")
foreign = sorted(int(r["foreign_webkit"]) for n in runs for r in runs[n] if "foreign_webkit" in r)
if foreign and foreign[-1]:
    print(f"other WebKit processes on the machine while PSS was taken: {foreign[0]} to {foreign[-1]};"
          " they share the engine's pages and lower PSS, not the private dirty figure")
PY
