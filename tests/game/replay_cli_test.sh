#!/usr/bin/env bash
# quadrillo-replay's outputs: a good run writes one frames.txt line per frame,
# the port log, a WAV as long as the machine time and the PNG frames asked
# for. (Its refusals are in the tools' command-line table,
# tests/data/tools_cli_test.py.)
#
# Usage: replay_cli_test.sh REPLAY_TOOL DATA_DIR
set -uo pipefail
replay=$1 data=$2
work=$(mktemp -d /tmp/quadrillo-replay-cli.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

printf 'SPACE\n\nLEFT\n' > "$work/good.keys"
"$replay" --data "$data" --keys "$work/good.keys" --frames 50 --out "$work/run" --png 1,50 2> "$work/err.txt" \
  || fail "a good run failed: $(cat "$work/err.txt")"
[ -s "$work/err.txt" ] && fail "a good run wrote to standard error: $(cat "$work/err.txt")"
[ "$(wc -l < "$work/run/frames.txt")" -eq 50 ] || fail "frames.txt has $(wc -l < "$work/run/frames.txt") lines, not 50"
grep -qvE '^[0-9a-f]{64} [0-9]+ [0-6]$' "$work/run/frames.txt" && fail "a frames.txt line is malformed"
# SPACE in the first frame of the intro starts a game: state 3 from frame 1 on.
[ "$(head -n1 "$work/run/frames.txt" | cut -d' ' -f2-)" = "76 3" ] \
  || fail "frame 1 is '$(head -n1 "$work/run/frames.txt")', not 75 black frames + 1 and state 3"
grep -qvE '^[0-9]+ [0-9a-f]{4} [0-9a-f]{2}$' "$work/run/ports.txt" && fail "a ports.txt line is malformed"
[ -s "$work/run/ports.txt" ] || fail "ports.txt is empty"
for k in 1 50; do [ -s "$work/run/frame-$k.png" ] || fail "frame-$k.png is missing"; done
# 44100 samples per 50 frames: the WAV covers the machine time of the run.
last_frames=$(tail -n1 "$work/run/frames.txt" | cut -d' ' -f2)
bytes=$(stat -c %s "$work/run/audio.wav")
samples=$(((bytes - 44) / 2))
expected=$((last_frames * 882))
[ "$(head -c 4 "$work/run/audio.wav")" = RIFF ] || fail "audio.wav is not a RIFF file"
if [ $samples -lt $((expected - 882)) ] || [ $samples -gt $((expected + 2 * 882)) ]; then
  fail "audio.wav holds $samples samples, not about $expected ($last_frames frames)"
fi

[ $failures -eq 0 ] && echo "PASS" && exit 0
exit 1
