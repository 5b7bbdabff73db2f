#!/usr/bin/env bash
# valgrind memcheck over 3000 frames of seeded random play that starts game
# after game (full_game.keys, key_script(1, 3000) of soak.py), through
# quadrillo-replay: the real game with its data files, its sound rendered and
# every frame hashed. No invalid access, no use of an undefined value and
# nothing definitely lost; the replay itself fails when the sprite memory is
# not all back at shut-down.
# usage: valgrind_game.sh REPLAY DATA_DIR KEYS WORK_DIR
set -euo pipefail
replay=$1 data=$2 keys=$3 work=$4
rm -rf "$work" && mkdir -p "$work"

status=0
valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
  --track-origins=yes --log-file="$work/memcheck.log" \
  "$replay" --data "$data" --keys "$keys" --frames 3000 --out "$work/replay" || status=$?
grep -E 'ERROR SUMMARY|definitely lost|All heap blocks were freed' "$work/memcheck.log" | sed 's/^==[0-9]*== //'
if [ "$status" -ne 0 ]; then
  echo "FAILED: exit status $status"
  grep -E -A12 'Invalid|uninitialised|definitely lost in' "$work/memcheck.log" | head -60
  exit 1
fi
rm -rf "$work"
