# Sourced by the benchmark scripts: a work folder of their own and the
# processes they start, all ended (last started first) and removed on exit;
# waiting for a condition.

bench_begin() {  # bench_begin NAME: sets work and pids
  work=$(mktemp -d "/tmp/$1.XXXXXX")
  pids=()
  trap bench_end EXIT
}

bench_end() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null && wait "${pids[i]}" 2>/dev/null
  done
  rm -rf "$work"
}

wait_for() {  # wait_for SECONDS COMMAND...: until COMMAND succeeds, or fails after SECONDS
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS >= deadline)) && return 1
    sleep 0.1
  done
}
