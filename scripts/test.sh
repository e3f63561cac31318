#!/usr/bin/env bash
# Installs what the build and the tests need, builds both programs (Linux and
# the Windows cross build) and runs every test: unit tests, the art check,
# the site tests, the end-to-end tests under Xvfb (Linux) and Wine, the unit
# tests and the Linux end-to-end suite once more built with the sanitizers
# (the asan preset), the threaded code with ThreadSanitizer (tsan), a
# short run of the fuzz targets, then the benchmarks (resize, sending to
# phones and the demo site's pages over loopback, a second start beside
# /bin/true, one cold start beside surf) and a short soak of each build,
# whose figures are printed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset linux
cmake --build --preset linux
cmake --preset windows
cmake --build --preset windows

ctest --preset linux --output-on-failure

# The unit tests and the Linux end-to-end suite again, built with
# AddressSanitizer and UndefinedBehaviorSanitizer: any report fails them.
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

# The code that runs on more than one thread (the head reader and workers
# of the site and of the phone sender, the engine loader) built with
# ThreadSanitizer: only those tests, at -O1 with line tables, to keep it to
# about two minutes; any report fails them.
cmake --preset tsan
cmake --build --preset tsan
ctest --preset tsan

# Every fuzz target over its committed seed corpus and about five seconds
# more (clang, libFuzzer and both sanitizers): any crash fails it.
bash scripts/fuzz.sh 5

./build/linux/bench/kivo_bench --benchmark_min_time=0.2
./build/linux/bench/send_bench
./build/linux/bench/site_bench
bash bench/instance_bench.sh build/linux/kivo 30
# One cold start of the program beside surf, for its figures only (the
# full table: bench/startup_bench.sh -n 7); it passes or fails nothing.
bash bench/startup_bench.sh -n 1 --tray-wait 25 || echo "the start-up benchmark did not finish: no figures"
# A short soak of each build (the full counts: bench/soak_linux.sh and
# bench/soak_wine.sh without --scale): memory and object counts printed;
# each fails when the program stops answering or a click or search never
# reaches the site, the Wine one also when an object count grows.
bash bench/soak_linux.sh --scale 0.05
bash bench/soak_wine.sh --scale 0.2
