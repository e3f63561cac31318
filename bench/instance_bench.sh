#!/usr/bin/env bash
# How long a second start takes: the program is started N times against a
# running first instance, and the median time from exec to exit is printed
# beside that of /bin/true, measured the same way in the same run. Figures
# only; nothing here passes or fails on time.
#
# usage: instance_bench.sh KIVO [N]   (default N 30; starts Xvfb when
#        DISPLAY is unset)
set -uo pipefail

KIVO=$1
N=${2:-30}
# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_begin kivo-bench

if [[ -z ${DISPLAY:-} ]]; then
  for n in $(seq 121 150); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || { display=:$n; break; }
  done
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  wait_for 10 xdpyinfo || { echo "Xvfb did not start"; exit 1; }
fi

mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR=$work/run XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
export XDG_CONFIG_HOME=$work/config NO_AT_BRIDGE=1
"$KIVO" >"$work/first.log" 2>&1 &
pids+=($!)
serving() { compgen -G "$work/run/*.sock"; }
wait_for 30 serving || { echo "the first instance did not start"; cat "$work/first.log"; exit 1; }

# Both commands timed alternately by one process, so load hits them alike.
/usr/bin/python3 - "$N" "$KIVO" <<'PY'
import statistics, subprocess, sys, time
n, kivo = int(sys.argv[1]), sys.argv[2]
def run(cmd):
    t = time.perf_counter()
    rc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    return (time.perf_counter() - t) * 1000, rc
true_ms, second_ms, failures = [], [], 0
for i in range(n):
    true_ms.append(run(["/bin/true"])[0])
    ms, rc = run([kivo, "--bench", str(i)])
    second_ms.append(ms)
    failures += rc != 0
print(f"runs {n}")
print(f"/bin/true      median {statistics.median(true_ms):7.1f} ms  (min {min(true_ms):.1f}, max {max(true_ms):.1f})")
print(f"second start   median {statistics.median(second_ms):7.1f} ms  (min {min(second_ms):.1f}, max {max(second_ms):.1f})")
print(f"second start minus /bin/true: {statistics.median(second_ms) - statistics.median(true_ms):.1f} ms")
if failures:
    print(f"{failures} second starts did not exit with 0")
PY
