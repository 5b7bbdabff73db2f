#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix
# ($QUADRILLO_WINDOWS_CACHE/wine, default ~/.cache/quadrillo-windows/wine),
# made on first use, quietly, without the Mono and Gecko installers. Exit
# status is the program's.
#
# The prefix is set up for a display without a window manager, as in the
# tests: a window takes the keyboard focus when the X server gives it
# (UseTakeFocus off: otherwise Wine waits for a window manager's message), and
# DirectDraw draws through GDI rather than OpenGL (lighter, and all Xvfb has).
set -euo pipefail
cache=${QUADRILLO_WINDOWS_CACHE:-$HOME/.cache/quadrillo-windows}
export WINEPREFIX=${WINEPREFIX:-$cache/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64
setup=1  # bump when the settings below change
if [ "$(cat "$WINEPREFIX/.quadrillo-setup" 2>/dev/null)" != "$setup" ]; then
  # Parallel builds run test programs at once: one of them sets up, the
  # others wait for it.
  mkdir -p "$WINEPREFIX"
  exec 9> "$WINEPREFIX.lock"
  flock 9
  if [ "$(cat "$WINEPREFIX/.quadrillo-setup" 2>/dev/null)" != "$setup" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseTakeFocus /t REG_SZ /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Direct3D' /v renderer /t REG_SZ /d gdi /f >/dev/null 2>&1
    wineserver --wait || true
    echo "$setup" > "$WINEPREFIX/.quadrillo-setup"
  fi
  exec 9>&-
fi
exec wine "$@"
