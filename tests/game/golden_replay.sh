#!/usr/bin/env bash
# Golden replay: runs quadrillo-replay on a checked-in key script (one line per
# loop frame, as many frames as the script has lines) with the real data files
# and compares frames.txt, ports.txt and the hash of audio.wav with the
# checked-in ones. A changed line fails and shows the first differing frame
# (or port write). The audio is pinned by its hash: a fault in synthesis or in
# the timing of the port writes changes it even when every write is the same.
#
# A golden may run on other data than the game's own (DATA_DIR), to watch
# what the game does when one of its files is missing.
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
# A golden pins each output by its lines (NAME.txt) or, for runs too long to
# keep line by line, by its hash alone (NAME.sha256); the audio always by hash.
pins=()
for name in frames ports; do
  if [ -r "$golden/$name.txt" ] || [ ! -r "$golden/$name.sha256" ]; then pins+=("$name.txt")
  else pins+=("$name.sha256"); (cd "$out" && sha256sum $name.txt) > "$out/$name.sha256"; fi
done
pins+=(audio.sha256)
(cd "$out" && sha256sum audio.wav) > "$out/audio.sha256"

if [ "${QUADRILLO_REGENERATE_GOLDEN:-}" = 1 ]; then
  for name in "${pins[@]}"; do cp "$out/$name" "$golden/"; done
  echo "golden: regenerated $golden ($frames frames)"
  exit 0
fi

status=0
for name in "${pins[@]}"; do
  if ! difference=$(cmp "$golden/$name" "$out/$name" 2>&1); then
    echo "golden: $name: $difference"
    line=$(grep -o 'line [0-9]*' <<< "$difference" | cut -d' ' -f2 || true)
    echo "  expected: $(sed -n "${line:-1}p" "$golden/$name" 2>/dev/null)"
    echo "  got:      $(sed -n "${line:-1}p" "$out/$name")"
    status=1
  fi
done
[ $status -eq 0 ] && echo "golden: $frames frames, $(wc -l < "$out/ports.txt") port writes and the audio match $golden"
exit $status
