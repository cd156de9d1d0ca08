#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while, two at a time at
# the lowest priority, so that a shared machine stays usable.
#   tests/fuzz/run_fuzzers.sh [seconds per target, default 600] [target ...]
# New inputs go to $FUZZ_OUT/corpus-<target> (default /tmp/ardel-fuzz), logs beside
# them; the hand-made seeds in tests/fuzz/corpus stay as they are. A finding is written
# into the current directory as crash-*, leak-* or timeout-*.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-600}
shift || true
targets=("$@")
[ "${#targets[@]}" -eq 0 ] && targets=(station_file framer ini_file rule_line command_string terminator telnet)
out=${FUZZ_OUT:-/tmp/ardel-fuzz}
build=${FUZZ_BUILD:-$root/build-fuzz}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DARDEL_FUZZ=ON \
  -DARDEL_BUILD_TESTS=OFF -DARDEL_BUILD_UI=OFF -DARDEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null

run() {
  local name=$1
  mkdir -p "$out/corpus-$name"
  local cmd=(nice -n 19 "$build/tests/fuzz/${name}_fuzz" -max_total_time="$seconds" -timeout=10
             -print_final_stats=1 "$out/corpus-$name" "$root/tests/fuzz/corpus/$name")
  echo "${cmd[*]}" >"$out/$name.log"
  local status=0
  "${cmd[@]}" >>"$out/$name.log" 2>&1 || status=$?
  local summary
  summary=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$out/$name.log" | tail -1 || true)
  echo "$name: exit $status; $summary"
}

for ((i = 0; i < ${#targets[@]}; i += 2)); do
  run "${targets[i]}" &
  if ((i + 1 < ${#targets[@]})); then run "${targets[i + 1]}" & fi
  wait
done
