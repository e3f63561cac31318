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
