#!/usr/bin/env bash
# Builds the machine's programs for a browser into build-web/site/ (the game
# and the example, each a page with its files beside it and, in single/, one
# file that also plays opened from disk) and serves the site on this computer.
#
#   web.sh          build, then serve http://127.0.0.1:8000/ until interrupted
#   web.sh --build  build only
#   web.sh --zip    build, then write build-web/quadrillo-web-<version>.zip:
#                   the site, the same bytes from the same sources (fixed
#                   dates and modes, entries in sorted order)
# QUADRILLO_WEB_BUILD_DIR changes the build folder (default build-web/).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUADRILLO_WEB_BUILD_DIR:-$root/build-web}
case "${1:-}" in
  ""|--build|--zip) ;;
  *) echo "usage: web.sh [--build|--zip]" >&2; exit 2 ;;
esac

"$root/scripts/bootstrap.sh" web
# Debian's emcc finds its JavaScript modules there, also under a node that is
# not Debian's own.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" -j2

case "${1:-}" in
  --build) ;;
  --zip)
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    python3 - "$build/site" "$build/quadrillo-web-$version.zip" "quadrillo-web-$version" <<'PY'
import os, sys, zipfile
site, out, top = sys.argv[1:]
paths = sorted(os.path.relpath(os.path.join(d, f), site) for d, _, fs in os.walk(site) for f in fs)
with zipfile.ZipFile(out, "w") as z:
    for path in paths:
        info = zipfile.ZipInfo(top + "/" + path, date_time=(1980, 1, 1, 0, 0, 0))
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(site, path), "rb") as f:
            z.writestr(info, f.read(), compresslevel=9)
PY
    echo "web: wrote $build/quadrillo-web-$version.zip" ;;
  *)
    echo "web: serving $build/site on http://127.0.0.1:8000/ (Ctrl+C stops)"
    exec python3 -m http.server --bind 127.0.0.1 8000 --directory "$build/site" ;;
esac
