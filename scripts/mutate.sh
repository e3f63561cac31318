#!/usr/bin/env bash
# Mutation run over the portable core: seeds one single-line fault at a time
# from the lists in tests/mutation/ (mutations.txt, then mutations-2.txt)
# into a scratch copy of the tree, rebuilds kivo_tests there, runs it, and
# says whether the unit tests noticed, with the kill rate of each list. The
# working tree itself is never touched.
#
#   scripts/mutate.sh [--list FILE] [--only 3,7,12] [--scratch DIR] [--timeout S] [--check]
#
# --list runs that one list only; --only picks rows by their number in each
# list run. --check only verifies that every mutation's text is found
# exactly once.
# A mutation is KILLED when kivo_tests fails, crashes or runs out of time,
# SURVIVED when it passes. One that does not build or whose text is not found
# exactly once is reported as BROKEN and left out of the count. A row whose
# kind is "equivalent" (a fault no user could tell apart, the reason in a
# comment above it) is checked for its text but neither run nor counted.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
lists=("$root/tests/mutation/mutations.txt" "$root/tests/mutation/mutations-2.txt")
scratch=${KIVO_MUTATE_DIR:-/tmp/kivo-mutate}
only=""
run_timeout=60
check=0
while [[ $# -gt 0 ]]; do
  case $1 in
    --list) lists=("$(realpath "$2")"); shift 2 ;;
    --only) only=",$2,"; shift 2 ;;
    --scratch) scratch=$2; shift 2 ;;
    --timeout) run_timeout=$2; shift 2 ;;
    --check) check=1; shift ;;
    *) echo "usage: $0 [--list FILE] [--only N,M] [--scratch DIR] [--timeout S] [--check]" >&2; exit 2 ;;
  esac
done

src=$scratch/src
build=$scratch/build
mkdir -p "$src" "$build"

# The tree as it stands, committed or not. Only files whose bytes differ
# are written, with a fresh modification time: the scratch build then
# recompiles exactly what changed since its last run, however old the edit.
(cd "$root" && git ls-files -co --exclude-standard -z) | python3 -c '
import os, sys
root, dest = sys.argv[1:3]
for name in sys.stdin.buffer.read().decode().split("\0"):
    source = os.path.join(root, name)
    if not name or not os.path.isfile(source):
        continue
    target = os.path.join(dest, name)
    data = open(source, "rb").read()
    if os.path.exists(target) and open(target, "rb").read() == data:
        continue
    os.makedirs(os.path.dirname(target), exist_ok=True)
    open(target, "wb").write(data)
    os.chmod(target, os.stat(source).st_mode & 0o777)
' "$root" "$src"

if [[ ! -f $build/build.ninja ]]; then
  # No optimiser: each mutant is one recompile and a link, and the tests
  # run in seconds either way.
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g0" >"$scratch/configure.log" 2>&1 ||
    { echo "configure failed: $scratch/configure.log" >&2; exit 1; }
fi

build_tests() { timeout 900 cmake --build "$build" --target kivo_tests -j2 >"$scratch/build.log" 2>&1; }
run_tests() {
  timeout -k 5 "$run_timeout" "$build/tests/kivo_tests" --gtest_brief=1 >"$scratch/test.log" 2>&1
}

if [[ $check -eq 0 ]]; then
build_tests || { echo "the unmutated tree does not build: $scratch/build.log" >&2; exit 1; }
run_tests || { echo "the unit tests fail without any mutation: $scratch/test.log" >&2; exit 1; }
fi

# apply PLACE OLD NEW -> writes the mutated file, keeps the original in
# $scratch/original; exit 3 when the text is not found exactly once.
apply() {
  python3 - "$src" "$scratch/original" "$1" "$2" "$3" <<'EOF'
import sys, shutil
src, backup, place, old, new = sys.argv[1:6]
unescape = lambda s: s.replace("\\n", "\n")
old, new = unescape(old), unescape(new)
path, _, line = place.partition(":")
full = f"{src}/{path}"
text = open(full, encoding="utf-8").read()
if line:
    lines = text.split("\n")
    n = int(line) - 1
    if n >= len(lines) or lines[n].count(old) != 1:
        sys.exit(3)
    lines[n] = lines[n].replace(old, new)
    mutated = "\n".join(lines)
else:
    if text.count(old) != 1:
        sys.exit(3)
    mutated = text.replace(old, new)
shutil.copy2(full, backup)
open(full, "w", encoding="utf-8").write(mutated)
EOF
}

# run_list FILE: every row of one list; prints its tally.
run_list() {
local list=$1
local killed=0 total=0 broken=0 equivalent=0 number=0
local survivors=()
local row kind rest place change old new file label started
echo "== ${list#"$root/"}"
while IFS= read -r row || [[ -n $row ]]; do
  [[ -z ${row// } || $row == \#* ]] && continue
  number=$((number + 1))
  [[ -n $only && $only != *",$number,"* ]] && continue
  # kind file[:line] old ~> new
  kind=${row%% *}
  rest=${row#* }
  rest=${rest#"${rest%%[! ]*}"}
  place=${rest%% *}
  change=${rest#* }
  change=${change#"${change%%[! ]*}"}
  old=${change%% ~>*}
  new=${change#*~>}
  new=${new# }
  file=${place%%:*}
  label=$(printf '%3d %-12s %s' "$number" "$kind" "$place")
  if ! apply "$place" "$old" "$new"; then
    echo "BROKEN   $label (text not found exactly once)"
    broken=$((broken + 1))
    continue
  fi
  if [[ $check -eq 1 || $kind == equivalent ]]; then
    cp -p "$scratch/original" "$src/$file"
    if [[ $kind == equivalent ]]; then
      echo "EQUIV    $label"
      equivalent=$((equivalent + 1))
    else
      echo "OK       $label"
    fi
    continue
  fi
  started=$SECONDS
  if ! build_tests; then
    echo "BROKEN   $label (does not build)"
    broken=$((broken + 1))
  else
    total=$((total + 1))
    if run_tests; then
      echo "SURVIVED $label  [$old ~> $new] ($((SECONDS - started)) s)"
      survivors+=("$number $kind $place: $old ~> $new")
    else
      killed=$((killed + 1))
      echo "KILLED   $label ($((SECONDS - started)) s)"
    fi
  fi
  cp -p "$scratch/original" "$src/$file"
  # The restored file is older than its object: make the next build see it.
  touch "$src/$file"
done <"$list"

if [[ $check -eq 1 ]]; then
  echo "broken: $broken"
  return 0
fi
echo
if [[ $total -gt 0 ]]; then
  echo "${list#"$root/"}: killed $killed of $total ($(awk -v k="$killed" -v n="$total" 'BEGIN { printf "%.1f", 100 * k / n }') %)"
else
  echo "${list#"$root/"}: killed 0 of 0"
fi
[[ $equivalent -gt 0 ]] && echo "equivalent (left out): $equivalent"
[[ $broken -gt 0 ]] && echo "broken (left out): $broken"
if [[ ${#survivors[@]} -gt 0 ]]; then
  echo "survivors:"
  printf '  %s\n' "${survivors[@]}"
fi
echo
return 0
}

for list in "${lists[@]}"; do
  run_list "$list"
done
[[ $check -eq 1 ]] && exit 0
build_tests || true
exit 0
