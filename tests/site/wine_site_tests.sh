#!/usr/bin/env bash
# The site's unit tests as built for Windows (site_tests.exe and
# site_server_tests.exe, the latter on real loopback sockets through
# Winsock), run under Wine in a prefix of their own.
# Usage: wine_site_tests.sh DIR  (the Windows build's tests/site)
set -uo pipefail
dir=$1
for exe in site_tests.exe site_server_tests.exe; do
  [[ -f $dir/$exe ]] || { echo "missing $dir/$exe: build the windows preset first" >&2; exit 1; }
done

export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINEPREFIX=$(mktemp -d /tmp/kivo-site-wine.XXXXXX)
trap 'wineserver -k 2>/dev/null; rm -rf "$WINEPREFIX"' EXIT
wine wineboot -i >"$WINEPREFIX/wineboot.log" 2>&1 || { tail -5 "$WINEPREFIX/wineboot.log"; exit 1; }

status=0
for exe in site_tests.exe site_server_tests.exe; do
  # gtest's own exit status; its summary says which test failed.
  wine "$dir/$exe" --gtest_brief=1 || status=1
done
exit $status
