#!/usr/bin/env bash
# Runs a Windows test program under Wine with the build's own prefix (WINEPREFIX is set by
# ctest; a new prefix is created on first use).
set -e
export WINEDEBUG=${WINEDEBUG:--all}
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix of the build}"
export WINEPREFIX
# The 64-bit loader runs 64-bit programs (and hands 32-bit ones to the 32-bit loader).
if [ -x /usr/lib/wine/wine64 ]; then
  exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
