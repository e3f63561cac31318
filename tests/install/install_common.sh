# Shared by the install and package tests: the check counter, polling, the
# committed manifest, a private network, and starting an installed program
# on a private X server until its window shows.
#
# Sourcing scripts set SRC before sourcing; they run in a private network
# from then on and get work (a scratch folder removed on exit) and the
# functions below.
PY=/usr/bin/python3
CAPTION="Kivo手机电影下载器"
APP_ID=org.kivo.KivoDownloader
MANIFEST=$SRC/packaging/linux/install-manifest.txt

# The program browses 127.0.0.1:8080 at start: a private network keeps it
# off whatever another run serves there. Re-runs the calling script inside
# one (root: a network namespace; otherwise a user namespace with its own),
# before anything here is made that an exit would have to clean up. Sourced
# without arguments, this file sees the calling script's.
in_private_network() {  # in_private_network SCRIPT ARGS...
  [[ -n ${KIVO_PRIVATE_NET:-} ]] && return 0
  local how=(--net)
  ((EUID == 0)) || how=(--user --map-root-user --net)
  if unshare "${how[@]}" true 2>/dev/null; then
    KIVO_PRIVATE_NET=1 exec unshare "${how[@]}" -- bash -c 'ip link set lo up && exec bash "$@"' bash "$@"
  fi
  echo "no private network could be made; the program runs on the host's"
}

in_private_network "$0" "$@"

WORK_NAME=kivo-install
# shellcheck source=tests/e2e/linux_checks.sh
source "$SRC/tests/e2e/linux_checks.sh"

finish() {
  echo "$passed passed, $failed failed"
  ((failed == 0))
}


manifest() {  # manifest COMPONENT: that component's paths, sorted
  awk -v c="$1" '$1 == c { print $2 }' "$MANIFEST" | LC_ALL=C sort
}

files_under() {  # files_under DIR: files and links under DIR, relative, sorted
  (cd "$1" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort)
}

same_lines() {  # same_lines WANT_FILE GOT_FILE: fails with a diff
  diff -u --label want --label got "$1" "$2"
}

# --- the program on a private X server --------------------------------------
start_x() {
  [[ -n ${DISPLAY_STARTED:-} ]] && return 0
  Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset 5>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  wait_for 10 test -s "$work/display" || { cat "$work/xvfb.log"; return 1; }
  export DISPLAY=:$(head -1 "$work/display")
  wait_for 10 xdpyinfo || return 1
  # The program's state and its one-instance socket: private to this run.
  mkdir -p -m 700 "$work/run"
  export XDG_RUNTIME_DIR=$work/run XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
  export XDG_CONFIG_HOME=$work/config NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
  # Run from a Wayland session, GTK would open the window there instead.
  unset WAYLAND_DISPLAY
  export GDK_BACKEND=x11
  DISPLAY_STARTED=1
}

find_window() { xdotool search --onlyvisible --name "^$CAPTION\$" 2>/dev/null | head -1; }
window_found() { win=$(find_window) && [[ -n $win ]]; }
maps_module() { grep -qF "$2" "/proc/$1/maps"; }

# The window must show, carry the WM_CLASS the menu entry names, and the
# process must have mapped the engine module from MODULE (the installed
# tree, not a build folder). Sets win and shown_pid.
window_shows() {  # window_shows MODULE STARTUP_WM_CLASS
  local module=$1 wmclass=$2
  wait_for 60 window_found || { echo "no window"; return 1; }
  shown_pid=$(xprop -id "$win" _NET_WM_PID | awk '{ print $3 }')
  [[ $shown_pid =~ ^[0-9]+$ ]] || { echo "no _NET_WM_PID on the window"; return 1; }
  pids+=("$shown_pid")
  local class
  class=$(xprop -id "$win" WM_CLASS)
  echo "window $win, pid $shown_pid, $class"
  [[ $class == *"\"$wmclass\""* ]] || { echo "StartupWMClass=$wmclass is not in $class"; return 1; }
  wait_for 60 maps_module "$shown_pid" "$module" ||
    { echo "$module not loaded; the process maps:"; grep -F kivo "/proc/$shown_pid/maps"; return 1; }
}

# Ends the program that window_shows found, by its id, and waits until it
# has gone (it is not always this shell's child).
end_shown() {
  [[ -n ${shown_pid:-} ]] || return 0
  kill "$shown_pid" 2>/dev/null
  wait_for 20 bash -c "! kill -0 $shown_pid 2>/dev/null" || return 1
  # Gone: its id may be another process's soon, so cleanup forgets it.
  local keep=() pid
  for pid in "${pids[@]}"; do [[ $pid == "$shown_pid" ]] || keep+=("$pid"); done
  pids=("${keep[@]}")
  shown_pid=
}

desktop_key() {  # desktop_key FILE KEY: the key's untranslated value
  sed -n "s/^$2=//p" "$1" | head -1
}
