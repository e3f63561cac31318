#!/usr/bin/env bash
# Installs what the program needs, builds it, starts the demo site on
# 127.0.0.1:8080 unless something already listens there, and starts the
# program on the current display.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target kivo kivo-site

if (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; then
  echo "port 8080 already answers; using that site"
else
  mkdir -p build/linux/run
  ./build/linux/site/kivo-site --port 8080 --log build/linux/run/site.log &
  site_pid=$!
  trap 'kill $site_pid 2>/dev/null' EXIT
  echo "demo site started (pid $site_pid), log: build/linux/run/site.log"
fi

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  echo "no display: start this from a desktop session (or set DISPLAY)" >&2
  exit 1
fi
./build/linux/kivo
