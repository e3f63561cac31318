#!/usr/bin/env bash
# Builds the Linux program and makes its Debian packages with CPack:
# build/linux/kivo_VERSION_ARCH.deb (the program) and
# build/linux/kivo-site_VERSION_ARCH.deb (the demo film site).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target kivo kivo-web kivo-site kivo_packaging_files
(cd build/linux && cpack -G DEB)
ls -l build/linux/kivo*_*.deb
