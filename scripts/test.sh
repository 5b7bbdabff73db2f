#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the unit tests, then the
# end-to-end tests in a private X server and audio sink started here (and
# stopped again by process id on exit).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/build.sh"
build=${QUADRILLO_BUILD_DIR:-$root/build}

ctest --test-dir "$build" --output-on-failure -j2 -LE e2e

source "$root/scripts/desktop.sh"
desktop_start_x
desktop_start_sound
# End-to-end tests share the one display and sink, so they run one at a time.
ctest --test-dir "$build" --output-on-failure -L e2e
