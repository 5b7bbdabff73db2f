#!/usr/bin/env bash
# Builds the game and starts it in its window, in data/ where its files are.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/build.sh"
build=${QUADRILLO_BUILD_DIR:-$root/build}
cd "$root/data"
exec "$build/game/quadrillo"
