#!/usr/bin/env bash
# Installs only what the game needs (scripts/bootstrap.sh play: the compiler,
# cmake, pkg-config and Allegro 4), builds only the game, without the tools,
# tests and benchmarks, into build-play/ (or $QUADRILLO_PLAY_BUILD_DIR), and
# starts it in its window, in data/ where its files are.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/bootstrap.sh" play
build=${QUADRILLO_PLAY_BUILD_DIR:-$root/build-play}
cmake -S "$root" -B "$build" -DQUADRILLO_TOOLS=OFF -DQUADRILLO_TESTS=OFF -DQUADRILLO_BENCH=OFF > /dev/null
cmake --build "$build" -j"$(nproc)" --target quadrillo
cd "$root/data"
exec "$build/game/quadrillo"
