#!/usr/bin/env bash
# Fails unless the Windows i686 Kolvex.dll exports each of the eleven native methods of
# com.jpos.scanner.Kolvex and the three of com.jpos.scanner.KolvexEvents under their
# stdcall-decorated names, and the x86_64 one under the plain JNI names (each nothing else).
#   tools/check-jni-exports.sh [build-folder]     (default: build)
set -uo pipefail
top=${1:-build}
fail=0
methods=(Kolvex_Open@24 Kolvex_Close@8 Kolvex_LoadAddOn@36 Kolvex_ClaimDevice@12
         Kolvex_ClearInput@8 Kolvex_DirectIO@20 Kolvex_ReleaseDevice@8 Kolvex_COFreezeEvents@12
         Kolvex_GetPropertyString@12 Kolvex_SetPropertyNumber@16 Kolvex_GetPropertyNumber@12
         KolvexEvents_waitEvent@12 KolvexEvents_connectionState@8 KolvexEvents_lastReason@8)

exports() {  # names in the export table of $1
  objdump -p "$1" | awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {print $NF; next} on {on=0}'
}

check() {  # $1 dll, $2 "decorated" or "plain"
  local dll=$1 form=$2 name want got
  if [ ! -f "$dll" ]; then echo "missing: $dll"; fail=1; return; fi
  got=$(exports "$dll" | sort)
  want=$(for m in "${methods[@]}"; do
           name="Java_com_jpos_scanner_${m%@*}"
           if [ "$form" = decorated ]; then echo "_${name}@${m#*@}"; else echo "$name"; fi
         done | sort)
  for name in $want; do
    grep -qxF "$name" <<<"$got" || { echo "$dll: export $name missing"; fail=1; }
  done
  extra=$(comm -13 <(echo "$want") <(echo "$got"))
  [ -z "$extra" ] || { echo "$dll: unexpected exports: $extra"; fail=1; }
}

check "$top/win32/bin/Kolvex.dll" decorated
[ -f "$top/win64/bin/Kolvex.dll" ] && check "$top/win64/bin/Kolvex.dll" plain
[ $fail -eq 0 ] && echo "JNI export checks passed"
exit $fail
