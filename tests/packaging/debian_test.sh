#!/usr/bin/env bash
# The Debian packages: CPack builds exactly the game's and the SDK's; lintian
# (required) reports no error in either (a missing copyright file or
# changelog is one; it also checks the desktop entry); each holds its own files (the
# game's its desktop entry, the SDK its headers, libraries and guide) and none
# of the other's; the SDK is a libdevel package needing Allegro's; and a tool
# extracted from the game's package renders the game's own music.
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/quadrillo-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
command -v lintian > /dev/null || fail "lintian is not installed"
cpack --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" 2>&1 || fail "$(cat "$work/cpack.log")"
[ "$(cd "$work" && echo *.deb | sed 's/_[^ ]*//g')" = "liborvalin-dev orvalin-quadrillo" ] || fail "$(ls "$work")"
game=$(echo "$work"/orvalin-quadrillo_*.deb) dev=$(echo "$work"/liborvalin-dev_*.deb)
# lintian's status and log both: a version might exit 0 with errors.
lintian --tag-display-limit 0 "$game" "$dev" 2>&1 | tee "$work/lintian.log" || fail "lintian's status"
! grep -q '^E:' "$work/lintian.log" || fail "lintian reports errors"

has() {  # has LIST yes|no PATH...: the package lists (or not) each path (a pattern for no)
  local list=$work/$1 want=$2; shift 2
  for p; do [ "$want" = "$(grep -q " \./$p" "$list" && echo yes || echo no)" ] || fail "$list: $want $p"; done
}
dpkg-deb -c "$game" > "$work/game"
dpkg-deb -c "$dev" > "$work/dev"
has game yes usr/lib/games/orvalin-quadrillo/quadrillo$ usr/games/orvalin-quadrillo$ usr/bin/orvalin-psg2wav$ \
  usr/share/applications/orvalin-quadrillo.desktop$
has game no usr/include 'usr/lib/.*\.a' usr/lib/pkgconfig usr/lib/cmake '.*PROGRAMMING\.md'
has dev yes usr/include/orvalin/machine/machine.h$ usr/lib/liborvalin.a$ usr/lib/liborvalin-harness.a$ \
  usr/lib/pkgconfig/orvalin.pc$ usr/lib/pkgconfig/orvalin-harness.pc$ usr/lib/cmake/Orvalin/OrvalinConfig.cmake$ \
  usr/share/doc/liborvalin-dev/PROGRAMMING.md$
has dev no '.*/quadrillo$' usr/bin usr/games usr/share/games '.*_internal\.h'
[[ "$(dpkg-deb -f "$dev" Section Depends | tr '\n' ' ')" == "Section: libdevel Depends: liballegro4-dev"* ]] ||
  fail "liborvalin-dev's control: $(dpkg-deb -f "$dev" Section Depends)"

dpkg-deb -x "$game" "$work/root"
"$work/root/usr/bin/orvalin-psg2wav" "$work"/root/usr/share/games/*/menu1.psg "$work/menu1.wav"
# menu1 plays about ten seconds: 44100 two-byte samples a second.
[ "$(stat -c %s "$work/menu1.wav")" -gt 800000 ] || fail "menu1.psg rendered by the package's tool is too short"
echo "PASS: $(cd "$work" && echo *.deb)"
