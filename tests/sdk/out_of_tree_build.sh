#!/usr/bin/env bash
# Installs the SDK from a build folder into a fresh prefix and builds the
# example program from a copy outside the source tree, once with pkg-config
# (its Makefile) and once with find_package(Orvalin) (its CMakeLists.txt).
# Each binary must then be a whole program of the machine: without an X
# server it starts, enters program_main and exits 1 with its one-line message.
#
# Usage: out_of_tree_build.sh BUILD_DIR EXAMPLE_DIR DATA_DIR CXX_COMPILER
set -euo pipefail
build=$1 example=$2 data=$3 cxx=$4  # the library's own compiler
work=$(mktemp -d /tmp/orvalin-sdk.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" --component sdk > /dev/null

for header in machine/machine.h blitter/draw.h sound/psg.h; do
  [ -r "$prefix/include/orvalin/$header" ] || { echo "sdk: $header not installed"; exit 1; }
done
if find "$prefix/include" -name '*internal*' | grep .; then
  echo "sdk: test-only headers installed"; exit 1
fi

check_program() {  # a binary that starts, and refuses without a display
  local out status=0
  out=$(env -u DISPLAY "$1" "$data" 2>&1) || status=$?
  echo "$1: status $status: $out"
  [ "$status" -eq 1 ] && [[ $out == "orvalin-hello: no display could be opened"* ]]
}

cp -r "$example" "$work/pc"
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name orvalin.pc)") make -s -C "$work/pc" CXX="$cxx"
check_program "$work/pc/orvalin-hello"

cp -r "$example" "$work/cm"
cmake -S "$work/cm" -B "$work/cm/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" > /dev/null
cmake --build "$work/cm/build" > /dev/null
check_program "$work/cm/build/orvalin-hello"
echo "sdk: built and ran the example through pkg-config and find_package"
