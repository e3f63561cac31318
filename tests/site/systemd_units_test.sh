#!/usr/bin/env bash
# The site's systemd user units: systemd-analyze finds nothing to say about
# them, and a site started the way the socket unit starts it (the listening
# socket handed over in LISTEN_FDS) answers on the unit's address, then
# ends by itself once idle.
#
# usage: systemd_units_test.sh KIVO_SITE SOURCE_DIR
set -uo pipefail
SITE=$(readlink -f "$1") SRC=$2
# shellcheck source=tests/install/install_common.sh
source "$SRC/tests/install/install_common.sh"
units=$SRC/packaging/linux/systemd

# systemd looks the bare command up on its own path, where no build is:
# the copy names this build's site.
cp "$units/kivo-site.socket" "$units/kivo-site.service" "$work/"
sed -i "s|^ExecStart=kivo-site |ExecStart=$SITE |" "$work/kivo-site.service"
verify_silent() {
  local out
  out=$(cd "$work" && systemd-analyze verify --man=no ./kivo-site.socket ./kivo-site.service 2>&1) &&
    [[ -z $out ]] || { echo "$out"; return 1; }
}
check "systemd-analyze verify: socket and service, no complaint" verify_silent

address=$(sed -n 's/^ListenStream=//p' "$units/kivo-site.socket")
idle=$(sed -n 's/^ExecStart=kivo-site .*--idle-exit \([0-9]*\).*/\1/p' "$units/kivo-site.service")
check "the service ends an idle site" test -n "$idle"

# The service's own arguments, but a short idle time for the test.
systemd-socket-activate -l "$address" "$SITE" --idle-exit 1 --log "$work/site.log" \
  >"$work/site.out" 2>&1 &
site_pid=$!
pids+=($site_pid)
answers() {
  curl -sS -o "$work/home.html" -D "$work/head.txt" -w '%{http_code}' "http://$address/" >"$work/code" &&
    [[ $(cat "$work/code") == 200 ]]
}
check "the first request starts the site, which answers on $address" wait_for 10 answers
check "on the socket handed over, not one of its own" \
  grep -qx "kivo-site listening on http://$address/" "$work/site.out"
check "the request is logged" grep -qx "GET / 200" "$work/site.log"
gone() { ! kill -0 "$site_pid" 2>/dev/null; }
check "idle, the site ends by itself" wait_for 15 gone
wait "$site_pid"
check "with status 0" test $? -eq 0

finish
