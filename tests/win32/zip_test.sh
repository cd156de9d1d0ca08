#!/usr/bin/env bash
# The Windows zip made from this build passes zip_imports.sh, and zips with a fault a
# user would meet do not: so the check itself is known to catch them.
# Usage: zip_test.sh WINDOWS_BUILD QT_FOLDER
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
zip="$("$here/../../scripts/windows-zip" "$1" "$2" "$work/good")"
"$here/zip_imports.sh" "$zip"
# Each fault: what is done to the unpacked zip.
faults=(
  'rm "$top/libgcc_s_seh-1.dll"'                  # a runtime DLL that Qt needs left out
  'rm "$top/Qt6Widgets.dll"'                      # a Qt DLL that ardel.exe imports left out
  'rm "$top/platforms/qwindows.dll"'              # the window cannot start without its platform
  'cp "$top/Qt6Core.dll" "$top/Qt6Unused.dll"'    # dead weight nothing imports
)
status=0
for fault in "${faults[@]}"; do
  rm -rf "$work/bad" && mkdir "$work/bad" && unzip -q "$zip" -d "$work/bad"
  (cd "$work/bad" && top="$(ls -d ardel-*)" && eval "$fault" && zip -q -r bad.zip "$top")
  if "$here/zip_imports.sh" "$work/bad/bad.zip" 2>/dev/null; then
    echo "zip_imports.sh passes a zip after: $fault" >&2
    status=1
  fi
done
exit "$status"
