#!/usr/bin/env bash
# The Debian packages: CPack builds exactly the game's and the SDK's, lintian
# (which must be installed) finds no errors in either, each holds its own
# files and not the other's, and a tool extracted from the game's renders the
# game's own music. (The tools' refusals are checked in
# tests/data/tools_cli_test.py.)
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/quadrillo-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
command -v lintian > /dev/null || fail "lintian is not installed"

cpack --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
debs=$(cd "$work/out" && ls *.deb | sed 's/_.*//' | xargs)
[ "$debs" = "liborvalin-dev orvalin-quadrillo" ] || fail "packages built: $debs"
game=$(ls "$work"/out/orvalin-quadrillo_*.deb) dev=$(ls "$work"/out/liborvalin-dev_*.deb)

# lintian exits non-zero on errors; its log is checked as well, in case a
# version ever exits 0 with them.
status=0
lintian --tag-display-limit 0 "$game" "$dev" > "$work/lintian.log" 2>&1 || status=$?
cat "$work/lintian.log"
if [ "$status" -ne 0 ] || grep -q '^E:' "$work/lintian.log"; then fail "lintian reports errors"; fi

# has NAME PATH... / lacks NAME PATTERN...: against what dpkg-deb lists.
dpkg-deb -c "$game" > "$work/game.list"; dpkg-deb -c "$dev" > "$work/dev.list"
has() { local l=$work/$1.list; shift; for p; do grep -q " \./$p$" "$l" || fail "$l lacks $p"; done; }
lacks() { local l=$work/$1.list; shift; for p; do ! grep " \./$p" "$l" || fail "$l holds $p"; done; }
has game usr/lib/games/orvalin-quadrillo/quadrillo usr/games/orvalin-quadrillo usr/bin/orvalin-psg2wav \
  usr/share/doc/orvalin-quadrillo/copyright usr/share/doc/orvalin-quadrillo/changelog.gz
lacks game usr/include 'usr/lib/.*\.a' usr/lib/pkgconfig usr/lib/cmake '.*PROGRAMMING\.md'
has dev usr/include/orvalin/machine/machine.h usr/lib/liborvalin.a usr/lib/pkgconfig/orvalin.pc \
  usr/lib/cmake/Orvalin/OrvalinConfig.cmake usr/share/doc/liborvalin-dev/PROGRAMMING.md \
  usr/share/doc/liborvalin-dev/copyright usr/share/doc/liborvalin-dev/changelog.gz
lacks dev '.*/quadrillo$' usr/bin usr/games usr/share/games '.*_internal\.h'
dpkg-deb -f "$dev" Section Depends | tr '\n' ' ' | grep -q '^Section: libdevel Depends: liballegro4-dev' ||
  fail "liborvalin-dev's control: $(dpkg-deb -f "$dev" Section Depends)"

dpkg-deb -x "$game" "$work/root"
"$work/root/usr/bin/orvalin-psg2wav" "$work/root/usr/share/games/orvalin-quadrillo/menu1.psg" "$work/menu1.wav"
size=$(stat -c %s "$work/menu1.wav")
# menu1 plays about ten seconds: 44100 samples a second, two bytes each.
if [ "$size" -lt 400000 ]; then echo "FAIL: rendering is only $size bytes"; exit 1; fi
echo "installed orvalin-psg2wav rendered menu1.psg: $size bytes"
