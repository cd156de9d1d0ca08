#!/usr/bin/env bash
# Fails when the Windows zip would not run on a bare Windows, or carries dead weight:
# every import of every program and DLL in it is Windows' own or in the zip beside the
# programs, and every DLL beside the programs is imported by something in the zip. The
# plugins in platforms/ and styles/ are loaded by Qt by name, so they count as used.
# Usage: zip_imports.sh ZIP
set -euo pipefail
objdump="${OBJDUMP:-x86_64-w64-mingw32-objdump}"
allowed=" $(grep -v '^#' "$(dirname "$0")/system_dlls.txt" | tr '\n' ' ') "
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
unzip -q "$1" -d "$work"
root="$(find "$work" -mindepth 1 -maxdepth 1 -type d)"
[ -f "$root/ardel.exe" ] && [ -f "$root/ardel-cli.exe" ] || { echo "$1: the programs are not at its top" >&2; exit 1; }
[ -f "$root/platforms/qwindows.dll" ] || { echo "$1: no platforms/qwindows.dll, the window cannot start" >&2; exit 1; }
status=0
carried=" $(cd "$root" && ls -1 | tr 'A-Z' 'a-z' | tr '\n' ' ') "
used=" "
while IFS= read -r -d '' file; do
  imports="$("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')"
  [ -n "$imports" ] || { echo "${file#$root/}: no imports read" >&2; status=1; }
  for dll in $imports; do
    case "$dll" in api-ms-win-*) continue ;; esac
    case "$carried" in *" $dll "*) used="$used$dll "; continue ;; esac
    case "$allowed" in
      *" $dll "*) ;;
      *) echo "${file#$root/} imports $dll, which is neither Windows' own nor in the zip" >&2; status=1 ;;
    esac
  done
done < <(find "$root" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
for dll in $(cd "$root" && ls -1 | grep -i '\.dll$' | tr 'A-Z' 'a-z'); do
  case "$used" in *" $dll "*) ;; *) echo "$dll is in the zip but nothing imports it" >&2; status=1 ;; esac
done
exit "$status"
