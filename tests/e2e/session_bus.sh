# A private session bus for a suite whose program must find it as it starts
# (the tray's watcher, the accessibility bus), sourced before the desktop.
start_session_bus() {  # start_session_bus DIR: bus_pid set, DBUS_SESSION_BUS_ADDRESS exported
  dbus-daemon --session --nofork --print-address=3 3>"$1/address" >"$1/bus.log" 2>&1 &
  bus_pid=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [[ -s $1/address ]] && break
    sleep 0.1
  done
  if [[ ! -s $1/address ]]; then
    echo "dbus-daemon did not start"
    cat "$1/bus.log"
    kill "$bus_pid" 2>/dev/null
    return 1
  fi
  DBUS_SESSION_BUS_ADDRESS=$(head -1 "$1/address")
  export DBUS_SESSION_BUS_ADDRESS
}

# rerun_with_a11y_bus SCRIPT ARGS...: runs the suite again (with
# KIVO_A11Y_BUS=1) on a private session bus that answers GetAddress and runs
# the accessibility bus, on which the registry starts when first asked. The
# buses outlive the desktop the suite makes (the program finds the
# accessibility bus as it starts); both are ended by their pids. Exits with
# the suite's status.
rerun_with_a11y_bus() {
  local busdir launcher_pid rc=1 i
  busdir=$(mktemp -d /tmp/kivo-a11y-bus.XXXXXX)
  start_session_bus "$busdir" || { rm -rf "$busdir"; exit 1; }
  /usr/libexec/at-spi-bus-launcher >"$busdir/launcher.log" 2>&1 &
  launcher_pid=$!
  a11y_bus() {
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress
  }
  for ((i = 0; i < 100; i++)); do
    a11y_bus >/dev/null 2>&1 && break
    sleep 0.1
  done
  if ! a11y_bus >/dev/null 2>&1; then
    echo "no accessibility bus"
    cat "$busdir"/*.log
  else
    KIVO_A11Y_BUS=1 bash "$@"
    rc=$?
  fi
  kill "$launcher_pid" 2>/dev/null && wait "$launcher_pid" 2>/dev/null
  kill "$bus_pid" 2>/dev/null && wait "$bus_pid" 2>/dev/null
  rm -rf "$busdir"
  exit $rc
}
