#!/usr/bin/env bash
# The CPU time of an idle COM1 under Wine, against a Windows program that only sleeps
# for as long, as a ratio: ardel-cli.exe on COM1 where the Windows build has it, and
# the port layer alone (an open TComPort that nothing is sent to, from the port
# layer's test program). COM1 is a pseudo-terminal of ardel-bus with stations that
# never speak first. Wine's server is counted too, as it polls the port for the
# program. Each runs with and without the library that answers the modem ioctls on
# pseudo-terminals (without it, Wine ends every event wait at once).
#   bench/idle_wine_cli.sh [seconds, default 20] [Linux build, default build]
#                          [Windows build, default build-windows]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build=$(realpath "${2:-$root/build}")
windows=$(realpath -m "${3:-$root/build-windows}")
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
cli="$windows/src/cli/ardel-cli.exe"
portTest="$windows/test_serial_win32.exe"
shim="$build/libwine_modem_ioctl.so"
[ -f "$cli" ] || [ -f "$portTest" ] || { echo "nothing built in $windows: run ./scripts/build-windows" >&2; exit 1; }
cmake --build "$build" --target ardel-bus wine_modem_ioctl test_wine >/dev/null
# The tests' prefix has COM1 to COM8 mapped to links beside it; making it is the tests'.
ARDEL_WINDOWS_BUILD_DIR="$windows" "$build/test_wine" --gtest_filter='WinePort.*' >/dev/null || true
export WINEPREFIX="$build/wine-ports-prefix" WINEDEBUG=-all
ports="$WINEPREFIX-ports"

work=$(mktemp -d /tmp/ardel-idle-XXXXXX)
server=
bus=
cleanup() {
  if [ -n "$bus" ]; then kill "$bus" 2>/dev/null || true; wait "$bus" 2>/dev/null || true; fi
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

cat > "$work/sleeper.cpp" <<'CPP'
#include <windows.h>
#include <cstdlib>
int main(int argc, char** argv) { ::Sleep(static_cast<DWORD>(std::atoi(argc > 1 ? argv[1] : "1") * 1000)); }
CPP
x86_64-w64-mingw32-g++-posix -O2 -static -o "$work/sleeper.exe" "$work/sleeper.cpp"
# Wine's own polling: a program that only waits for one event of COM1, as any program on
# a serial port does.
cat > "$work/waiter.cpp" <<'CPP'
#include <windows.h>
#include <cstdlib>
int main(int argc, char** argv) {
  HANDLE port = ::CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) return 1;
  ::SetCommMask(port, EV_RXCHAR | EV_ERR);
  OVERLAPPED request{};
  request.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD mask = 0;
  ::WaitCommEvent(port, &mask, &request);
  ::WaitForSingleObject(request.hEvent, static_cast<DWORD>(std::atoi(argc > 1 ? argv[1] : "1") * 1000));
  ::SetCommMask(port, 0);
  ::CloseHandle(port);
}
CPP
x86_64-w64-mingw32-g++-posix -O2 -static -o "$work/waiter.exe" "$work/waiter.cpp"

"$build/tools/ardel-bus/ardel-bus" --stations 1 --quiet > "$work/bus.out" &
bus=$!
for _ in $(seq 100); do [ -s "$work/bus.out" ] && break; sleep 0.1; done
ln -sfn "$(head -1 "$work/bus.out")" "$ports/COM1"
mkdir -p "$work/dir"

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

# Prints the CPU seconds of the program and of the server while it ran.
measure() {
  local before after times
  before=$(ticks "$server")
  /usr/bin/time -o "$work/time" -f "%U %S" "$@" >/dev/null 2>&1 || true
  times=$(tail -1 "$work/time")
  after=$(ticks "$server")
  awk -v t="$times" -v b="$before" -v a="$after" -v hz="$hz" \
    'BEGIN { split(t, x, " "); printf "%.3f %.3f\n", x[1] + x[2], (a - b) / hz }'
}

report() {
  awk -v what="$1" -v s="$seconds" -v sp="$2" -v ss="$3" -v cp="$4" -v cs="$5" -v wp="$waitProgram" -v ws="$waitServer" 'BEGIN {
    sleep = sp + ss; idle = cp + cs; wait = wp + ws
    printf "%s, %d s: %.3f s CPU (server %.3f); sleeping program %.3f s, ratio %.2f; program waiting for one event %.3f s, ratio %.2f\n",
      what, s, idle, cs, sleep, (sleep > 0 ? idle / sleep : 0), wait, (wait > 0 ? idle / wait : 0)
  }'
}

for preload in with without; do
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  "$wineserver" -k 2>/dev/null || true
  if [ "$preload" = with ]; then export LD_PRELOAD="$shim"; else unset LD_PRELOAD; fi
  "$wineserver" -f -p &
  server=$!
  sleep 1
  # Wine's services start with the first program; they are not what is measured.
  "$wine" "$work/sleeper.exe" 1
  read -r sleepProgram sleepServer < <(measure "$wine" "$work/sleeper.exe" "$seconds")
  read -r waitProgram waitServer < <(measure "$wine" "$work/waiter.exe" "$seconds")
  if [ -f "$portTest" ]; then
    read -r portProgram portServer < <(ARDEL_WINE_PORT=COM1 ARDEL_IDLE_SECONDS="$seconds" measure "$wine" "$portTest" \
      --gtest_filter=CommPortIdle.* --gtest_also_run_disabled_tests)
    report "the port layer $preload the modem ioctls" "$sleepProgram" "$sleepServer" "$portProgram" "$portServer"
  fi
  if [ -f "$cli" ]; then
    read -r cliProgram cliServer < <(measure "$wine" "$cli" --dir "Z:${work//\//\\}\\dir\\" --port COM1 --timeout "$seconds")
    report "ardel-cli.exe $preload the modem ioctls" "$sleepProgram" "$sleepServer" "$cliProgram" "$cliServer"
  fi
done
"$wineserver" -k 2>/dev/null || true
