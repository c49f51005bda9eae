#!/usr/bin/env bash
# Runs a Windows test program under Wine with the build's own prefix (WINEPREFIX is set by
# ctest; a new prefix is created on first use).
set -e
export WINEDEBUG=${WINEDEBUG:--all}
: "${WINEPREFIX:?WINEPREFIX must name the build's Wine prefix}"
export WINEPREFIX
exec wine "$@"
