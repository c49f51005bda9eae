#!/usr/bin/env bash
# Checks that the plug-in library exports exactly one symbol, GetPlugDllFuns, by its plain name.
#   check-exports.sh OBJDUMP-OR-NM LIBRARY
set -euo pipefail
tool=$1 lib=$2
case "$lib" in
  *.dll) names=$("$tool" -p "$lib" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && NF==0 {t=0} t {print $NF}') ;;
  *)     names=$("$tool" -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVW]$/ {print $3}') ;;
esac
if [ "$names" != "GetPlugDllFuns" ]; then
  echo "unexpected exports of $lib:"; echo "$names"; exit 1
fi
echo "$lib exports only GetPlugDllFuns"
