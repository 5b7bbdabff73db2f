#!/usr/bin/env bash
# Installs the SDK from a build folder into a fresh prefix (what it holds is
# checked in tests/packaging/debian_test.sh) and builds the example that it
# installs, as a new maker would, once with pkg-config (its Makefile) and
# once with find_package(Orvalin) (its CMakeLists.txt). Either way: the
# desktop program and its watcher of recorded runs start and, without an X
# server, refuse with the program's one line
# and status 1; its headless twin, run twice on the golden key script, gives
# the golden frames, port writes and audio both times, with no keys pressed
# other ones, and run without --frames on a script that presses Esc it ends
# there, which with --frames is an error; the example's replay test passes on
# the golden it writes and fails on a changed program. Each installed header compiles on
# its own; the installed data tools make a font bank, a picture and music
# that the twin runs with.
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
  status=0 && out=$(env -u DISPLAY "$1/orvalin-hello-watch" --data "$data" "$golden/keys.txt" 2>&1) || status=$?
  [ $status = 1 ] && [[ $out == "orvalin-hello: no display could be opened"* ]] || fail "$1: watch: $status: $out"
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
  # Esc ends the program: a run without --frames may end there. Esc is
  # held from frame 2's present on, and the loop asks before drawing frame 3.
  printf '\n\nESC\n\n\n' > "$work/esc.txt"
  "$1/orvalin-hello-replay" --data "$data" --keys "$work/esc.txt" --out "$1/esc" > /dev/null ||
    fail "$1: the run to Esc failed"
  [ "$(wc -l < "$1/esc/frames.txt")" = 2 ] || fail "$1: the run to Esc has $(wc -l < "$1/esc/frames.txt") frames"
  ! "$1/orvalin-hello-replay" --data "$data" --keys "$work/esc.txt" --frames 5 --out "$1/esc5" 2> /dev/null ||
    fail "$1: with --frames 5 an end after frame 2 passed"
  "$1/orvalin-hello-replay" --data "$mine" --keys "$golden/keys.txt" --frames 50 --out "$1/mine" > /dev/null ||
    fail "$1: the twin does not run with the installed tools' data"
  echo "$1: refuses without a display; twin gives the golden run twice, another without keys, ends on Esc"
}

for header in $(cd "$prefix/include/orvalin" && find . -name '*.h'); do
  echo "#include \"${header#./}\"" | "$cxx" -std=c++20 -fsyntax-only -I"$prefix/include/orvalin" -x c++ - ||
    fail "$header does not compile alone against the installed headers"
done
installed=$prefix/share/doc/liborvalin-dev/examples/hello
[ -r "$prefix/share/doc/liborvalin-dev/NOTATION.md" ] || fail "no score notation installed"
# The example's data remade by the installed tools: a font bank of the
# installed font's face, a picture, a tune (DejaVu, as the game's own).
mine=$work/mine
mkdir -p "$mine"
"$prefix/bin/orvalin-fontbank" --font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf --size 12 \
  --out "$mine/tahoma.fnt" > /dev/null
"$prefix/bin/orvalin-picture" --picture logo --font /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf \
  --out "$mine/logo.raw" > /dev/null
printf 'tempo 24\ninstrument beep vol 12 10 8\nA: @beep o4 l4 c e g >c\n' > "$mine/tune.txt"
"$prefix/bin/orvalin-musicc" "$mine/tune.txt" --out "$mine/menu2.psg" > /dev/null
"$prefix/bin/orvalin-psg2wav" "$mine/menu2.psg" "$mine/tune.wav" > /dev/null
[ "$(stat -c %s "$mine/tune.wav")" -gt 44100 ] || fail "the installed tools' tune renders too short"
cmp -s "$prefix/share/orvalin/tahoma.fnt" "$installed/data/tahoma.fnt" || fail "no ready font bank"

cp -r "$installed" "$work/pc"
PKG_CONFIG_PATH=$prefix/lib/pkgconfig make -s -C "$work/pc" CXX="$cxx"
check "$work/pc"
cp -r "$installed" "$work/cm"
cmake -S "$work/cm" -B "$work/cm/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" > /dev/null
cmake --build "$work/cm/build" > /dev/null
check "$work/cm/build"
# Its golden replay test: it passes on the golden it writes itself, and a
# program that draws otherwise fails it, naming the frame and saving it.
cmake --build "$work/cm/build" --target GoldenReplay.hello-golden > /dev/null
ctest --test-dir "$work/cm/build" > /dev/null || fail "the example's replay test fails on its own golden"
sed -i 's/"Hello from the Orvalin"/"Hello from the Orvalin!"/' "$work/cm/hello.cpp"
cmake --build "$work/cm/build" > /dev/null
! ctest --test-dir "$work/cm/build" --output-on-failure > "$work/changed.log" || fail "a changed program passed its golden"
grep -q "^frame 1 differs" "$work/changed.log" && [ -s "$work/cm/build/GoldenReplay.hello/frame-1.png" ] ||
  fail "the failed replay test named no frame or saved no picture: $(cat "$work/changed.log")"
echo "$work/cm/build: the replay test passes on its golden and fails on a changed picture with frame-1.png"
