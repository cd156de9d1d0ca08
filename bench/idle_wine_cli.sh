#!/usr/bin/env bash
# The CPU time of an idle COM1 under Wine, against Windows programs that only sleep or
# only wait for the port, as ratios: ardel-cli.exe on COM1 where the Windows build has
# it, and the port layer alone (an open TComPort that nothing is sent to, from the port
# layer's test program). COM1 is a pseudo-terminal of ardel-bus with stations that
# never speak first. Wine's server is counted too, as it polls the port for the
# program. Each program runs twice, for 2 s and for the time given; the difference is
# what being idle costs, without the start that a bigger program pays once. Each runs
# with and without the library that answers the modem ioctls on pseudo-terminals
# (without it, Wine ends every event wait at once, and a program that waits for the
# port waits for nothing).
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
# a serial port does, once for input and line errors alone and once for the events the
# port layer chooses (input, line errors and the modem lines, which Wine must poll).
cat > "$work/waiter.cpp" <<'CPP'
#include <windows.h>
#include <cstdlib>
int main(int argc, char** argv) {
  HANDLE port = ::CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) return 1;
  const DWORD mask = argc > 2 ? std::strtoul(argv[2], nullptr, 16) : EV_RXCHAR | EV_ERR;
  // Where the driver refuses the modem lines' events, the input and error ones remain.
  if (!::SetCommMask(port, mask)) ::SetCommMask(port, EV_RXCHAR | EV_ERR);
  OVERLAPPED request{};
  request.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD events = 0;
  if (!::WaitCommEvent(port, &events, &request) && ::GetLastError() != ERROR_IO_PENDING) {
    ::SetCommMask(port, EV_RXCHAR | EV_ERR);
    ::WaitCommEvent(port, &events, &request);
  }
  // With a period, it also wakes that often, as the queue tick does.
  const DWORD period = argc > 3 ? std::atoi(argv[3]) : 0;
  const ULONGLONG end = ::GetTickCount64() + std::atoi(argc > 1 ? argv[1] : "1") * 1000ULL;
  for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
    const DWORD left = static_cast<DWORD>(end - now);
    if (::WaitForSingleObject(request.hEvent, period > 0 && period < left ? period : left) == WAIT_OBJECT_0) break;
  }
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
  /usr/bin/time -o "$work/time" -f "%U %S" bash -c '"$@"' bash "$@" >/dev/null 2>&1 </dev/null || true
  times=$(tail -1 "$work/time")
  after=$(ticks "$server")
  awk -v t="$times" -v b="$before" -v a="$after" -v hz="$hz" \
    'BEGIN { split(t, x, " "); printf "%.3f %.3f\n", x[1] + x[2], (a - b) / hz }'
}

# The CPU seconds per second of being idle, program and server together: a run of the
# given length less one of 2 s. $1 names a function that runs the program for $2 s.
short=2
idle() {
  local shortProgram shortServer longProgram longServer
  read -r shortProgram shortServer < <(measure "$1" "$short")
  read -r longProgram longServer < <(measure "$1" "$seconds")
  awk -v sp="$shortProgram" -v ss="$shortServer" -v lp="$longProgram" -v ls="$longServer" -v d="$((seconds - short))" \
    'BEGIN { cost = (lp + ls - sp - ss) / d; printf "%.4f %.4f\n", (cost > 0 ? cost : 0), (ls - ss) / d }'
}
sleeper() { "$wine" "$work/sleeper.exe" "$1"; }
waiter() { "$wine" "$work/waiter.exe" "$1"; }
maskWaiter() { "$wine" "$work/waiter.exe" "$1" 1B9; }
tickWaiter() { "$wine" "$work/waiter.exe" "$1" 1B9 100; }
portLayer() {
  ARDEL_WINE_PORT=COM1 ARDEL_IDLE_SECONDS="$1" "$wine" "$portTest" --gtest_filter=CommPortIdle.* --gtest_also_run_disabled_tests
}
cliProgram() { "$wine" "$cli" --dir "Z:${work//\//\\}\\dir\\" --port COM1 --timeout "$1"; }
export wine work cli portTest
export -f sleeper waiter maskWaiter tickWaiter portLayer cliProgram

report() {
  awk -v what="$1" -v c="$2" -v cs="$3" -v sleep="$sleepCost" -v wait="$waitCost" -v masked="$maskCost" -v ticked="$tickCost" '
    function ratio(base) { return base > 0 ? sprintf("%.2f", c / base) : "-" }
    BEGIN {
      printf "%s: %.1f ms CPU per s (server %.1f); sleeping program %.1f, ratio %s; program waiting for input or an error %.1f, ratio %s; for the same events %.1f, ratio %s; for them and every 100 ms %.1f, ratio %s\n",
        what, c * 1000, cs * 1000, sleep * 1000, ratio(sleep), wait * 1000, ratio(wait), masked * 1000, ratio(masked),
        ticked * 1000, ratio(ticked)
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
  read -r sleepCost _ < <(idle sleeper)
  read -r waitCost _ < <(idle waiter)
  read -r maskCost _ < <(idle maskWaiter)
  read -r tickCost _ < <(idle tickWaiter)
  if [ -f "$portTest" ]; then
    read -r portCost portServer < <(idle portLayer)
    report "the port layer $preload the modem ioctls" "$portCost" "$portServer"
  fi
  if [ -f "$cli" ]; then
    read -r cliCost cliServer < <(idle cliProgram)
    report "ardel-cli.exe $preload the modem ioctls" "$cliCost" "$cliServer"
  fi
done
"$wineserver" -k 2>/dev/null || true
