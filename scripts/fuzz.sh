#!/usr/bin/env bash
# Builds the fuzz targets (the fuzz preset: clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for SECONDS over its seed
# corpus, two at a time. Prints per target its time, executions, executions
# a second and coverage; fails if any target crashed, leaving the input that
# did it.
#
#   bash scripts/fuzz.sh [--merge] [--jobs N] [SECONDS] [TARGET...]
#
# SECONDS defaults to 60; no TARGET means all of them (fuzz/*.cpp). New
# inputs go to build/fuzz/runs/TARGET/corpus, cleared at each run; --merge
# afterwards adds the ones that reach new code to the committed fuzz/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

merge=0
jobs=2
seconds=60
targets=()
while (($#)); do
  case $1 in
    --merge) merge=1 ;;
    --jobs) jobs=$2; shift ;;
    --jobs=*) jobs=${1#--jobs=} ;;
    -h | --help) sed -n '2,13p' "$0"; exit 0 ;;
    [0-9]*) seconds=$1 ;;
    *) targets+=("$1") ;;
  esac
  shift
done
if ((${#targets[@]} == 0)); then
  for f in fuzz/*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
for t in "${targets[@]}"; do
  [[ -f fuzz/$t.cpp ]] || { echo "fuzz.sh: no target $t (fuzz/$t.cpp)" >&2; exit 2; }
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2

bin=build/fuzz/fuzz
runs=build/fuzz/runs
# Kept from run to run, unlike the scratch corpora.
crashes=build/fuzz/crashes
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
command -v llvm-symbolizer >/dev/null && export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-$(command -v llvm-symbolizer)}

# Longest input per target: the hand-off carries commands up to the link's
# 32 KiB bound, search keywords and request targets run long too.
max_len() {
  case $1 in
    handoff) echo 40000 ;;
    keyword | request_line | site_target | route) echo 16384 ;;
    *) echo 4096 ;;
  esac
}

run_one() {
  local t=$1 dir=$runs/$1
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$crashes"
  local start=$SECONDS
  set +e
  "$bin/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=25 \
    -max_len="$(max_len "$t")" -artifact_prefix="$crashes/$t-" "$dir/corpus" "fuzz/corpus/$t" \
    >"$dir/log" 2>&1
  echo $? >"$dir/status"
  set -e
  echo $((SECONDS - start)) >"$dir/seconds"
}

active=0
for t in "${targets[@]}"; do
  run_one "$t" &
  ((++active))
  if ((active >= jobs)); then
    wait -n || true
    active=$((active - 1))
  fi
done
wait

failed=0
printf '%-13s %6s %12s %9s %9s %9s %5s  %s\n' target seconds executions exec/s coverage features new result
for t in "${targets[@]}"; do
  dir=$runs/$t
  final_stat() { sed -n "s/^stat::$1: *//p" "$dir/log" | tail -n 1; }
  last=$(grep -E '^#[0-9]+' "$dir/log" | grep -E ' cov: ' | tail -n 1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  result=ok
  if [[ $(cat "$dir/status") != 0 ]]; then
    failed=1
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$dir/log" | tail -n 1)
    result="FAILED: ${artifact:-no input written} (log: $dir/log)"
  fi
  printf '%-13s %6s %12s %9s %9s %9s %5s  %s\n' "$t" "$(cat "$dir/seconds")" \
    "$(final_stat number_of_executed_units)" "$(final_stat average_exec_per_sec)" "${cov:--}" "${ft:--}" \
    "$(final_stat new_units_added)" "$result"
done

if ((failed)); then
  echo
  for t in "${targets[@]}"; do
    dir=$runs/$t
    [[ $(cat "$dir/status") == 0 ]] && continue
    echo "== $t: the end of $dir/log"
    tail -n 40 "$dir/log"
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$dir/log" | tail -n 1)
    [[ -n $artifact ]] && echo "reproduce: $bin/fuzz_$t $artifact"
  done
  exit 1
fi

if ((merge)); then
  for t in "${targets[@]}"; do
    "$bin/fuzz_$t" -merge=1 -max_len="$(max_len "$t")" "fuzz/corpus/$t" "$runs/$t/corpus" \
      >"$runs/$t/merge.log" 2>&1
    echo "$t: $(sed -n 's/.*MERGE-OUTER: \([0-9]* new files\).*/\1/p' "$runs/$t/merge.log" | tail -n 1) merged into fuzz/corpus/$t"
  done
fi
