#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it and checks what a user
# gets: every program runs from the unpacked tree and tells the package's version, every
# manual page renders without a warning, and lintian finds no error.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cd "$build"
cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb="$(ls "$work"/out/ardel_*_"$(dpkg --print-architecture)".deb)"
version="$(dpkg-deb -f "$deb" Version)"
[ -n "$version" ] || fail "no version in $deb"

# Computed from the binaries, not written by hand.
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libc6 libstdc++6 libqt6widgets6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

dpkg-deb -x "$deb" "$work/root"
programs=(ardel ardel-bus)
[ -e "$build/ardel-cli" ] || [ -e "$build/src/cli/ardel-cli" ] && programs+=(ardel-cli)
for p in "${programs[@]}"; do
  bin="$work/root/usr/bin/$p"
  [ -x "$bin" ] || fail "$p is not in /usr/bin"
  out="$("$bin" --version)" || fail "$p --version exits with $?"
  grep -qF "$version" <<<"$out" || fail "$p --version says '$out', the package carries $version"
  help="$("$bin" --help)" || fail "$p --help exits with $?"
  [ "$(wc -l <<<"$help")" -gt 3 ] || fail "$p --help says too little"
  page="$work/root/usr/share/man/man1/$p.1.gz"
  [ -f "$page" ] || fail "no manual page for $p"
  text="$(MANWIDTH=80 man --warnings -l "$page" 2>"$work/man.err")" || fail "man -l $p"
  [ ! -s "$work/man.err" ] || { cat "$work/man.err"; fail "the manual page of $p warns"; }
  grep -q "SYNOPSIS" <<<"$text" || fail "the manual page of $p has no synopsis"
  # Every option that --help names is in the manual page.
  for option in $(grep -oE -- '--[a-z][a-z-]+' <<<"$help" | sort -u); do
    grep -qF -- "$option" <<<"$text" || grep -qF -- "${option//-/‐}" <<<"$text" ||
      fail "the manual page of $p does not name $option"
  done
done
for f in usr/share/applications/ardel.desktop usr/share/icons/hicolor/scalable/apps/ardel.svg \
         usr/share/doc/ardel/copyright usr/share/doc/ardel/README.md; do
  [ -f "$work/root/$f" ] || fail "$f is not in the package"
done

# The service template: one instance per device, which systemd reads without a complaint
# once its program is where the unit says.
if [[ " ${programs[*]} " == *" ardel-cli "* ]]; then
  unit="$work/root/usr/lib/systemd/system/ardel-cli@.service"
  [ -f "$unit" ] || fail "the package has no ardel-cli@.service"
  grep -qx 'ExecStart=/usr/bin/ardel-cli --dir /var/lib/ardel/%i --port /dev/%I' "$unit" ||
    fail "ardel-cli@.service does not start /usr/bin/ardel-cli on its device"
  if command -v systemd-analyze >/dev/null; then
    sed "s#/usr/bin/ardel-cli#$work/root/usr/bin/ardel-cli#" "$unit" >"$work/ardel-cli@ttyUSB0.service"
    systemd-analyze verify --man=no "$work/ardel-cli@ttyUSB0.service" >"$work/unit.log" 2>&1 ||
      { cat "$work/unit.log"; fail "systemd-analyze verify ardel-cli@ttyUSB0.service"; }
  fi
fi

lintian --fail-on error --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log"; fail "lintian"; }
grep -v "running with root privileges" "$work/lintian.log" || true
echo "package $deb: version $version, ${#programs[@]} programs, lintian clean"
