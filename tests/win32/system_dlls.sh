#!/usr/bin/env bash
# Fails when a Windows program imports a DLL that Windows does not ship: the programs
# link the C++ and thread runtime in, and run from any folder without an installer.
# Usage: system_dlls.sh PROGRAM.exe...
set -euo pipefail
objdump="${OBJDUMP:-x86_64-w64-mingw32-objdump}"
# Windows' own DLLs that the programs may import.
allowed="$(grep -v '^#' "$(dirname "$0")/system_dlls.txt")"
allowed=" $(echo $allowed) "
status=0
for program in "$@"; do
  imports="$("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')"
  [ -n "$imports" ] || { echo "$program: no imports read" >&2; status=1; }
  for dll in $imports; do
    # api-ms-win-*: the API sets, which Windows resolves itself.
    case "$dll" in api-ms-win-*) continue ;; esac
    case "$allowed" in
      *" $dll "*) ;;
      *) echo "$program imports $dll, which Windows does not ship" >&2; status=1 ;;
    esac
  done
done
exit "$status"
