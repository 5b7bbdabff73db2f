#!/usr/bin/env bash
# Installs the SDK from a build folder into a fresh prefix (what it holds is
# checked in tests/packaging/debian_test.sh) and builds the example from a copy outside the tree, once with pkg-config
# (its Makefile) and once with find_package(Orvalin) (its CMakeLists.txt).
# Either way: the desktop program starts and, without an X server, refuses
# with its one line and status 1; its headless twin, run twice on the golden
# key script, gives the golden frames, port writes and audio both times, and
# with no keys pressed gives other frames, port writes and audio.
#
# Usage: out_of_tree_build.sh BUILD_DIR EXAMPLE_DIR DATA_DIR CXX_COMPILER GOLDEN_DIR
set -euo pipefail
build=$1 example=$2 data=$3 cxx=$4 golden=$5
work=$(mktemp -d /tmp/orvalin-sdk.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" --component sdk > /dev/null
frames=$(wc -l < "$golden/keys.txt")
sed 's/.*//' "$golden/keys.txt" > "$work/none.txt"

check() {  # DIR: the two programs built there
  local out status=0
  out=$(env -u DISPLAY "$1/orvalin-hello" "$data" 2>&1) || status=$?
  [ $status = 1 ] && [[ $out == "orvalin-hello: no display could be opened"* ]] || fail "$1: $status: $out"
  for run in keys again none; do
    keys=$golden/keys.txt
    [ $run = none ] && keys=$work/none.txt
    "$1/orvalin-hello-replay" --data "$data" --keys "$keys" --frames "$frames" --out "$1/$run" > /dev/null
    (cd "$1/$run" && sha256sum audio.wav > audio.sha256)
  done
  for f in frames.txt ports.txt audio.sha256; do
    cmp "$golden/$f" "$1/keys/$f" && cmp "$golden/$f" "$1/again/$f" || fail "$1: $f is not the golden one"
    ! cmp -s "$1/keys/$f" "$1/none/$f" || fail "$1: $f the same without keys"
  done
  echo "$1: refuses without a display; twin gives the golden run twice, another without keys"
}

cp -r "$example" "$work/pc"
PKG_CONFIG_PATH=$prefix/lib/pkgconfig make -s -C "$work/pc" CXX="$cxx"
check "$work/pc"
cp -r "$example" "$work/cm"
cmake -S "$work/cm" -B "$work/cm/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" > /dev/null
cmake --build "$work/cm/build" > /dev/null
check "$work/cm/build"
