#!/usr/bin/env bash
# Configures and builds everything into build/ (or $QUADRILLO_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/bootstrap.sh" test
build=${QUADRILLO_BUILD_DIR:-$root/build}
werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S "$root" -B "$build" -DQUADRILLO_WERROR=$werror -DQUADRILLO_TOOLS=ON "$@" > /dev/null
cmake --build "$build" -j"$(nproc)"
