#!/usr/bin/env bash
# The CPU time of an idle ardel-cli.exe on COM1 under Wine, against a Windows program
# that only sleeps for as long, as a ratio. COM1 is a pseudo-terminal of ardel-bus with
# stations that never speak first; Wine's server is counted too, as it polls the port
# for the program. Run with and without the library that answers the modem ioctls on
# pseudo-terminals (without it, Wine ends every event wait at once).
#   bench/idle_wine_cli.sh [seconds, default 20] [Linux build, default build]
#                          [Windows build, default build-windows]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build=${2:-$root/build}
windows=${3:-$root/build-windows}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
cli="$windows/src/cli/ardel-cli.exe"
shim="$build/libwine_modem_ioctl.so"
[ -f "$cli" ] || { echo "no $cli: run ./scripts/build-windows" >&2; exit 1; }
cmake --build "$build" --target ardel-bus wine_modem_ioctl test_wine >/dev/null
# The tests' prefix has COM1 to COM8 mapped to links beside it.
"$build/test_wine" --gtest_filter=WinePort.NoTestMatchesThis >/dev/null
export WINEPREFIX="$build/wine-ports-prefix" WINEDEBUG=-all
ports="$WINEPREFIX-ports"

work=$(mktemp -d /tmp/ardel-idle-XXXXXX)
server=
bus=
cleanup() {
  [ -n "$bus" ] && kill "$bus" 2>/dev/null && wait "$bus" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

cat > "$work/sleeper.cpp" <<'CPP'
#include <windows.h>
#include <cstdlib>
int main(int argc, char** argv) { ::Sleep(static_cast<DWORD>(std::atoi(argc > 1 ? argv[1] : "1") * 1000)); }
CPP
x86_64-w64-mingw32-g++-posix -O2 -static -o "$work/sleeper.exe" "$work/sleeper.cpp"

"$build/tools/ardel-bus/ardel-bus" --stations 1 --quiet > "$work/bus.out" &
bus=$!
for _ in $(seq 100); do [ -s "$work/bus.out" ] && break; sleep 0.1; done
ln -sfn "$(head -1 "$work/bus.out")" "$ports/COM1"
mkdir -p "$work/dir"

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

# Prints the CPU seconds of the program and of the server while it ran.
measure() {
  local before after
  before=$(ticks "$server")
  /usr/bin/time -o "$work/time" -f "%U %S" "$@" >/dev/null 2>&1 || true
  local times
  times=$(tail -1 "$work/time")
  after=$(ticks "$server")
  awk -v t="$times" -v b="$before" -v a="$after" -v hz="$hz" 'BEGIN { split(t, x, " "); printf "%.3f %.3f\n", x[1] + x[2], (a - b) / hz }'
}

for preload in with without; do
  [ -n "$server" ] && kill "$server" && wait "$server" 2>/dev/null || true
  "$wineserver" -k 2>/dev/null || true
  if [ "$preload" = with ]; then export LD_PRELOAD="$shim"; else unset LD_PRELOAD; fi
  "$wineserver" -f -p &
  server=$!
  sleep 1
  # Wine's services start with the first program; they are not what is measured.
  "$wine" "$work/sleeper.exe" 1
  read -r sleepProgram sleepServer < <(measure "$wine" "$work/sleeper.exe" "$seconds")
  read -r cliProgram cliServer < <(measure "$wine" "$cli" --dir "Z:${work//\//\\}\\dir\\" --port COM1 --timeout "$seconds")
  awk -v p="$preload" -v s="$seconds" -v sp="$sleepProgram" -v ss="$sleepServer" -v cp="$cliProgram" -v cs="$cliServer" 'BEGIN {
    sleep = sp + ss; cli = cp + cs
    printf "%s the modem ioctls, %d s idle: sleeping program %.3f s CPU (server %.3f), ardel-cli.exe %.3f s CPU (server %.3f), ratio %.2f\n",
      p, s, sleep, ss, cli, cs, (sleep > 0 ? cli / sleep : 0)
  }'
done
"$wineserver" -k 2>/dev/null || true
