#!/usr/bin/env bash
# The Debian packages: CPack builds exactly the game's and the SDK's; lintian
# (required) reports no error in either (a missing copyright file or
# changelog is one; it also checks the desktop entry); each holds its own files (the
# game's its desktop entry and replay tool, the SDK its headers, libraries,
# guide, example, font bank and data tools with their man pages) and none of
# the other's; the SDK is a libdevel package needing Allegro's; and the SDK's
# PSG renderer renders the game's own music.
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
tools="orvalin-fontbank orvalin-musicc orvalin-picture orvalin-psg2wav"
has game yes usr/lib/games/orvalin-quadrillo/quadrillo$ usr/games/orvalin-quadrillo$ usr/bin/quadrillo-replay$ \
  usr/bin/quadrillo-watch$ usr/share/man/man1/quadrillo-watch.1.gz$ usr/share/applications/orvalin-quadrillo.desktop$ usr/share/man/man6/orvalin-quadrillo.6.gz$
has game no usr/include 'usr/lib/.*\.a' usr/lib/pkgconfig usr/lib/cmake '.*PROGRAMMING\.md' $(for t in $tools; do echo ".*/$t\$ .*/$t\.1"; done)
has dev yes usr/include/orvalin/machine/machine.h$ usr/lib/liborvalin.a$ usr/lib/liborvalin-harness.a$ \
  usr/lib/pkgconfig/orvalin.pc$ usr/lib/pkgconfig/orvalin-harness.pc$ usr/lib/cmake/Orvalin/OrvalinConfig.cmake$ \
  usr/share/doc/liborvalin-dev/PROGRAMMING.md$ usr/share/doc/liborvalin-dev/NOTATION.md$ \
  usr/share/doc/liborvalin-dev/examples/hello/hello.cpp$ usr/share/orvalin/tahoma.fnt$ \
  $(for t in $tools; do echo "usr/bin/$t\$ usr/share/man/man1/$t.1.gz\$"; done)
has dev no '.*/quadrillo$' usr/bin/quadrillo-replay usr/games usr/share/games '.*_internal\.h'
[[ "$(dpkg-deb -f "$dev" Section Depends | tr '\n' ' ')" == "Section: libdevel Depends: liballegro4-dev"* ]] ||
  fail "liborvalin-dev's control: $(dpkg-deb -f "$dev" Section Depends)"

dpkg-deb -x "$game" "$work/root"
dpkg-deb -x "$dev" "$work/root"
"$work/root/usr/bin/orvalin-psg2wav" "$work"/root/usr/share/games/*/menu1.psg "$work/menu1.wav"
# menu1 plays about ten seconds: 44100 two-byte samples a second.
[ "$(stat -c %s "$work/menu1.wav")" -gt 800000 ] || fail "menu1.psg rendered by the SDK's tool is too short"
echo "PASS: $(cd "$work" && echo *.deb)"
