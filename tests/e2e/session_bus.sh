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
