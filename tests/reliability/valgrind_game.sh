#!/usr/bin/env bash
# valgrind memcheck over 3000 frames of a full game (seeded random play that
# starts game after game): once through quadrillo-replay, the real game with
# its data files, its sound rendered and every frame hashed; once through the
# in-process FullGame test, which also checks that the sprite memory is back
# at 65536 bytes at shut-down. Both must show no invalid access, no use of an
# undefined value and nothing definitely lost.
# usage: valgrind_game.sh REPLAY RELIABILITY_TEST DATA_DIR KEYS WORK_DIR
set -euo pipefail
replay=$1 unit=$2 data=$3 keys=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
command -v valgrind > /dev/null || { echo "valgrind is not installed"; exit 1; }

check() {  # check NAME LOG STATUS
  local name=$1 log=$2 status=$3
  echo "$name: $(grep -m1 'ERROR SUMMARY' "$log" | sed 's/^==[0-9]*== //')"
  grep -E 'definitely lost|All heap blocks were freed' "$log" | sed 's/^==[0-9]*== /  /' || true
  if [ "$status" -ne 0 ]; then
    echo "$name FAILED: exit status $status"
    grep -E -A12 'Invalid|uninitialised|definitely lost in' "$log" | head -60
    return 1
  fi
  grep -q 'ERROR SUMMARY: 0 errors' "$log" || { echo "$name FAILED: memcheck errors"; return 1; }
  if grep -q 'definitely lost: [1-9]' "$log"; then echo "$name FAILED: memory lost"; return 1; fi
}

memcheck=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full
          --errors-for-leak-kinds=definite --track-origins=yes)
status=0
"${memcheck[@]}" --log-file="$work/replay.log" \
  "$replay" --data "$data" --keys "$keys" --frames 3000 --out "$work/replay" || status=$?
check "replay, 3000 frames" "$work/replay.log" "$status"
lines=$(wc -l < "$work/replay/frames.txt")
[ "$lines" -eq 3000 ] || { echo "replay presented $lines frames, not 3000"; exit 1; }

status=0
"${memcheck[@]}" --log-file="$work/unit.log" \
  "$unit" --gtest_filter='FullGame.*' > "$work/unit.out" 2>&1 || status=$?
check "FullGame test, 3000 frames" "$work/unit.log" "$status" || { cat "$work/unit.out"; exit 1; }
grep -q '\[  PASSED  \] 1 test' "$work/unit.out" || { cat "$work/unit.out"; exit 1; }
echo "sprite memory back at 65536 at shut-down (FullGame.GivesBackEverySpriteAtShutDown passed)"
rm -rf "$work"
