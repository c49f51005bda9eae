#!/usr/bin/env bash
# Shows that tools/check-stdcall-returns.py catches what it is there for: an i686 DLL of
# hand-written exports (stdcall-cases.S) where each bad_ export pops the wrong count (a cdecl
# body, one wrong return of two, a shared epilogue, a jump-table case), plus a .def that puts
# a decorated name on a cdecl body. Every bad export must be named, no good one may be, and a
# DLL of only good exports must pass.
#   check-stdcall-returns-test.sh SOURCE-DIR WORK-DIR
set -uo pipefail
src=$1 work=$2
checker=$src/tools/check-stdcall-returns.py
cc=i686-w64-mingw32-gcc
mkdir -p "$work"
fail=0
bad() { echo "FAIL $*"; fail=1; }

dll() {  # $1 output, then extra link inputs
  local out=$1; shift
  "$cc" -shared -nostdlib -Wl,-e,0 -o "$out" "$src/tests/tools/stdcall-cases.S" "$@" ||
    { echo "FAIL cannot build $out"; exit 1; }
}

# All exports of the assembly file.
dll "$work/cases.dll" -Wl,--export-all-symbols
out=$(python3 "$checker" "$work/cases.dll"); rc=$?
echo "$out"
[ $rc -eq 1 ] || bad "exit status $rc for a DLL with wrong pops, want 1"
for name in bad_cdecl@8 bad_second@8 bad_shared@4 bad_switch@4; do
  grep -q "^$work/cases.dll: $name: returns with" <<<"$out" || bad "$name not reported"
done
grep -q ": good_" <<<"$out" && bad "a good export was reported"
grep -q "9 stdcall exports" <<<"$out" || bad "not every export was checked"

# A .def that gives a cdecl body a stdcall name, beside good ones under other names.
printf 'EXPORTS\n  Open@8 = good_plain@8\n  Close@0 = good_noargs@0\n  Claim@8 = bad_cdecl@8\n' >"$work/alias.def"
dll "$work/alias.dll" "$work/alias.def"
out=$(python3 "$checker" "$work/alias.dll"); rc=$?
echo "$out"
[ $rc -eq 1 ] || bad "exit status $rc for the .def alias, want 1"
grep -q ": Claim@8: returns with ret at" <<<"$out" || bad "Claim@8 not reported"
grep -qE ": (Open|Close)@" <<<"$out" && bad "a good alias was reported"

# Stripped of its symbols the checker has only the control flow: the shared epilogue and the
# second return are still found.
printf 'EXPORTS\n  good_plain@8\n  good_two@4\n  good_shared@12\n  bad_second@8\n  bad_shared@4\n' >"$work/stripped.def"
dll "$work/stripped.dll" "$work/stripped.def" -s
out=$(python3 "$checker" "$work/stripped.dll"); rc=$?
echo "$out"
[ $rc -eq 1 ] || bad "exit status $rc for the stripped DLL, want 1"
for name in bad_second@8 bad_shared@4; do
  grep -q ": $name: returns with" <<<"$out" || bad "stripped: $name not reported"
done
grep -q ": good_" <<<"$out" && bad "stripped: a good export was reported"

# Only good exports: passes.
printf 'EXPORTS\n  good_plain@8\n  good_noargs@0\n  good_two@4\n  good_shared@12\n  good_switch@4\n' >"$work/good.def"
dll "$work/good.dll" "$work/good.def"
out=$(python3 "$checker" "$work/good.dll"); rc=$?
echo "$out"
[ $rc -eq 0 ] || bad "exit status $rc for good exports only, want 0"
grep -q "5 stdcall exports, all pop what they declare" <<<"$out" || bad "good DLL not fully checked"

[ $fail -eq 0 ] && echo "PASS"
exit $fail
