#!/usr/bin/env bash
# Builds everything and runs the whole test suite:
#  1. the normal build (build/): unit, golden-replay, tool, SDK, package and
#     reliability tests (bad data files, the 40-minute soak);
#  2. the sanitizer build (build-sanitize/, clang with AddressSanitizer,
#     UndefinedBehaviorSanitizer and libFuzzer): the same tests, then every
#     fuzz target for FUZZ_SECONDS (30) each;
#  3. the end-to-end tests of the normal build, each in a private X server and
#     audio sink that its test command starts (scripts/desktop.sh) and stops.
# QUADRILLO_SKIP_SANITIZE=1 leaves out step 2.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/build.sh"
build=${QUADRILLO_BUILD_DIR:-$root/build}

ctest --test-dir "$build" --output-on-failure -j2 -LE e2e

if [ "${QUADRILLO_SKIP_SANITIZE:-0}" != 1 ]; then
  sanitize=${QUADRILLO_SANITIZE_BUILD_DIR:-$root/build-sanitize}
  CC=clang CXX=clang++ QUADRILLO_BUILD_DIR="$sanitize" "$root/scripts/build.sh" \
    -DQUADRILLO_SANITIZE=ON -DQUADRILLO_FUZZ=ON -DQUADRILLO_BENCH=OFF
  ctest --test-dir "$sanitize" --output-on-failure -j2 -LE e2e
  "$root/scripts/fuzz.sh" "$sanitize"
fi

ctest --test-dir "$build" --output-on-failure -L e2e

# The browser build (build-web/, scripts/web.sh): the replay harness compiled
# to wasm must run byte-identical to the native one, the SDK it installs must
# build the example's pages and node twin in a plain shell, then the pages are
# checked in headless Chromium through puppeteer-core (the version that
# tests/web/package-lock.json pins).
"$root/scripts/web.sh" --build
npm ci --prefix "$root/tests/web" --no-audit --no-fund --loglevel=error
"$root/tests/web/replay_identity.sh" "$build" "$root/build-web"
"$root/tests/sdk/web_out_of_tree.sh" "$root/build-web" "$root/examples/hello/golden"
node "$root/tests/web/page_test.js" "$build" "$root/build-web"
