#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix
# ($QUADRILLO_WINDOWS_CACHE/wine, default ~/.cache/quadrillo-windows/wine),
# created on first use, quietly, without the Mono and Gecko installers.
# Exit status is the program's.
set -euo pipefail
cache=${QUADRILLO_WINDOWS_CACHE:-$HOME/.cache/quadrillo-windows}
export WINEPREFIX=${WINEPREFIX:-$cache/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
  wineserver --wait || true
fi
exec wine "$@"
