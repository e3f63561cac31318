# The bookkeeping of every Linux test script, sourced first: a scratch
# folder `work` (named after WORK_NAME, removed on exit unless KEEP_E2E is
# set), the processes in `pids` ended newest first on exit, and check,
# not and wait_for.
work=$(mktemp -d "/tmp/${WORK_NAME:-kivo-e2e}.XXXXXX")
pids=()
passed=0
failed=0

cleanup() {
  local i pid _
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill "$pid" 2>/dev/null || continue
    # A process that ignores SIGTERM must not hold the run until its time-out.
    for _ in {1..50}; do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  [[ -n ${KEEP_E2E:-} ]] || rm -rf "$work"
}
trap cleanup EXIT

check() {  # check NAME COMMAND...
  local name=$1 t0=$SECONDS
  shift
  if "$@" >"$work/check.out" 2>&1; then
    passed=$((passed + 1))
    # Slow checks say how long they took.
    echo "ok   $name$( ((SECONDS - t0 > 5)) && echo " ($((SECONDS - t0)) s)")"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    sed 's/^/     /' "$work/check.out" | head -30
  fi
}

not() { ! "$@"; }
wait_for() {  # wait_for SECONDS COMMAND...
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS >= deadline)) && return 1
    sleep 0.2
  done
}

# The program under test, started by the desktop as $kivo_pid.
alive() { kill -0 "$kivo_pid" 2>/dev/null; }
ended_with() {  # ended_with STATUS: the program ends, with that exit status
  local deadline=$((SECONDS + 15)) rc
  while alive; do
    ((SECONDS >= deadline)) && { echo "still running"; return 1; }
    sleep 0.2
  done
  wait "$kivo_pid"
  rc=$?
  echo "exit status $rc"
  ((rc == $1))
}
