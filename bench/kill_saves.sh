#!/usr/bin/env bash
# Kills a process that saves the station data file and the rule-set file 1,000 times
# each with SIGKILL at random moments, and checks after every kill that the file is one
# of the two contents it alternates between, whole. The same test runs 50 kills in
# CTest; this is the full run.
#   bench/kill_saves.sh [kills per file, default 1000] [build dir, default build]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kills=${1:-1000}
build=${2:-$root/build}
cmake --build "$build" -j2 --target test_save_kill >/dev/null
ARDEL_SAVE_KILLS=$kills "$build/test_save_kill"
