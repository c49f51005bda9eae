#!/usr/bin/env bash
# Checks the Windows deliverables: machine type, imports only from system DLLs, exports.
set -uo pipefail
top=${1:-build}
fail=0
check_dll() {  # $1 dll, $2 expected format text
  local dll=$1 fmt=$2
  [ -f "$dll" ] || { echo "missing: $dll"; fail=1; return; }
  objdump -f "$dll" | grep -q "$fmt" || { echo "$dll: not $fmt"; fail=1; }
  local bad
  bad=$(objdump -p "$dll" | awk '/DLL Name:/ {print $3}' | grep -viE '^(kernel32|user32|advapi32|msvcrt|ws2_32|setupapi|hid|ucrtbase|api-ms-win-.*)\.dll$' || true)
  [ -z "$bad" ] || { echo "$dll imports non-system DLLs: $bad"; fail=1; }
}
for dll in "$top"/win32/bin/Kolvex.dll "$top"/win32/bin/Tavrix.dll; do check_dll "$dll" pei-i386; done
for dll in "$top"/win64/bin/Kolvex.dll "$top"/win64/bin/Tavrix.dll; do check_dll "$dll" pei-x86-64; done
bash "$(dirname "$0")/check-jni-exports.sh" "$top" || fail=1
[ $fail -eq 0 ] && echo "binary checks passed"
exit $fail
