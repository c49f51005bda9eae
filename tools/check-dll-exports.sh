#!/usr/bin/env bash
# Fails unless Tavrix.dll and Vantrel.dll of the Windows builds export exactly their names:
# Tavrix the five tvx_ functions and its extras (stdcall-decorated on i686, plain on x86_64), Vantrel only
# GetPlugDllFuns (cdecl: plain on both). Kolvex.dll is tools/check-jni-exports.sh's.
#   tools/check-dll-exports.sh [build-folder]     (default: build)
set -uo pipefail
top=${1:-build}
fail=0

exports() {  # names in the export table of $1
  objdump -p "$1" | awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {print $NF; next} on {on=0}'
}

check() {  # $1 dll, then the exact export names
  local dll=$1; shift
  if [ ! -f "$dll" ]; then echo "missing: $dll"; fail=1; return; fi
  local got want
  got=$(exports "$dll" | sort)
  want=$(printf '%s\n' "$@" | sort)
  if [ "$got" != "$want" ]; then
    echo "$dll: exports differ (- wanted, + found):"
    diff <(echo "$want") <(echo "$got") | grep '^[<>]' | sed 's/^</-/; s/^>/+/'
    fail=1
  fi
}

check "$top/win32/bin/Tavrix.dll" _tvx_open@12 _tvx_register_notify@16 _tvx_write@16 _tvx_clear@4 _tvx_close@4 \
  _tvx_last_error@8 _tvx_register_status@12
check "$top/win64/bin/Tavrix.dll" tvx_open tvx_register_notify tvx_write tvx_clear tvx_close \
  tvx_last_error tvx_register_status
check "$top/win32/bin/Vantrel.dll" GetPlugDllFuns
check "$top/win64/bin/Vantrel.dll" GetPlugDllFuns
[ $fail -eq 0 ] && echo "Tavrix and Vantrel export checks passed"
exit $fail
