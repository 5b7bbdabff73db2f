#!/usr/bin/env bash
# Golden replay: runs quadrillo-replay on a checked-in key script (one line per
# loop frame, as many frames as the script has lines) with the real data files
# and compares frames.txt and ports.txt with the checked-in ones, and the
# SHA-256 of audio.wav with audio.sha256. A changed line fails and names the
# first differing frame (or port write).
#
# To accept a deliberate change of the game's pictures, timing or music, run
# with QUADRILLO_REGENERATE_GOLDEN=1 (e.g. `QUADRILLO_REGENERATE_GOLDEN=1 ctest
# -R GoldenReplay`): the outputs then replace the checked-in files.
#
# Usage: golden_replay.sh REPLAY_TOOL DATA_DIR GOLDEN_DIR
set -euo pipefail
replay=$1 data=$2 golden=$3
[ -r "$golden/keys.txt" ] || { echo "golden: no key script $golden/keys.txt"; exit 1; }
frames=$(wc -l < "$golden/keys.txt")
out=$(mktemp -d /tmp/quadrillo-golden.XXXXXX)
trap 'rm -rf "$out"' EXIT
"$replay" --data "$data" --keys "$golden/keys.txt" --frames "$frames" --out "$out"

if [ "${QUADRILLO_REGENERATE_GOLDEN:-}" = 1 ]; then
  cp "$out/frames.txt" "$out/ports.txt" "$golden/"
  (cd "$out" && sha256sum audio.wav) > "$golden/audio.sha256"
  echo "golden: regenerated $golden ($frames frames)"
  exit 0
fi

status=0
# Reports the first line where `got` differs from `expected`, in `unit` terms.
first_difference() {
  local name=$1 unit=$2
  local expected="$golden/$name" got="$out/$name"
  [ -r "$expected" ] || { echo "golden: $expected is missing (regenerate deliberately)"; status=1; return; }
  local line
  line=$(awk 'NR == FNR { want[FNR] = $0; next }
              !(FNR in want) || want[FNR] != $0 { print FNR; exit }' "$expected" "$got")
  if [ -z "$line" ]; then  # equal as far as the output goes: is it shorter?
    local want_lines got_lines
    want_lines=$(wc -l < "$expected") got_lines=$(wc -l < "$got")
    [ "$want_lines" -eq "$got_lines" ] || line=$((got_lines + 1))
  fi
  if [ -n "$line" ]; then
    echo "golden: $name differs first at $unit $line"
    echo "  expected: $(sed -n "${line}p" "$expected")"
    echo "  got:      $(sed -n "${line}p" "$got")"
    status=1
  fi
}
first_difference frames.txt frame
first_difference ports.txt "port write"
# The audio is pinned by its hash: a fault in synthesis or in the timing of
# the port writes changes it even when every register write is the same.
want=$(cut -d' ' -f1 "$golden/audio.sha256" 2>/dev/null || true)
got=$(sha256sum < "$out/audio.wav" | cut -d' ' -f1)
if [ "$want" != "$got" ]; then
  echo "golden: audio.wav differs from $golden/audio.sha256"
  echo "  expected: ${want:-(missing)}"
  echo "  got:      $got"
  status=1
fi
[ $status -eq 0 ] && echo "golden: $frames frames, $(wc -l < "$out/ports.txt") port writes and the audio match $golden"
exit $status
