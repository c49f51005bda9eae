#!/usr/bin/env bash
# Installs the build into a fresh prefix and runs the demo from there against the simulated
# scanner (the installed one) on a pseudo-terminal behind COM7.
#   install-smoke.sh BUILD-DIR WORKDIR JAVA
set -uo pipefail
build=$1 work=$2 java=$3
fail=0
bad() { echo "FAIL $*"; fail=1; }

rm -rf "$work"; mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; echo "FAIL cmake --install"; exit 1; }
for f in lib/libKolvex.so lib/libTavrix.so lib/libVantrel.so lib/kolvex.jar lib/kolvex-api.jar \
         bin/scanner-sim etc/kolvex-example.reg README.md; do
    [ -f "$prefix/$f" ] || bad "not installed: $f"
done
# The installed libraries find each other in their own folder, not in the build.
readelf -d "$prefix/lib/libKolvex.so" | grep -q 'R.*PATH.*\[\$ORIGIN\]' || bad "libKolvex.so has no \$ORIGIN run path"
if readelf -d "$prefix"/lib/*.so | grep -E 'R.*PATH' | grep -qF "$build"; then bad "installed library refers to the build folder"; fi
head -1 "$prefix/etc/kolvex-example.reg" | grep -q '^Windows Registry Editor Version 5.00' || bad "example .reg header"
grep -q '^## Java API' "$prefix/README.md" || bad "README user part lacks the Java API section"
grep -q '^## Building' "$prefix/README.md" && bad "README user part holds the developer section Building"
[ $fail -eq 0 ] || exit 1

link=$work/com7
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrix\\COM]\n"COM7"="%s"\n' "$link" >"$work/registry.reg"
export KOLVEX_REGISTRY=$work/registry.reg
unset LD_LIBRARY_PATH

coproc SIM { exec "$prefix/bin/scanner-sim" --type 3 --pty --link "$link"; }
simpid=$SIM_PID
exec {simin}>&"${SIM[1]}" {simout}<&"${SIM[0]}"
trap 'echo quit >&"$simin" 2>/dev/null; wait "$simpid" 2>/dev/null' EXIT
sim_cmd() { echo "$1" >&"$simin"; local l; read -r -t 60 l <&"$simout" || l="ERR no answer"; echo "$l"; }
while read -r -t 30 line <&"$simout"; do [ "$line" = READY ] && break; done

cd "$work"
exec {demo}< <("$java" -Xcheck:jni -Djava.library.path="$prefix/lib" \
    -cp "$prefix/lib/kolvex.jar:$prefix/lib/kolvex-api.jar" com.jpos.scanner.api.ScanDemo \
    --type 3 --com 7 --count 2 --seconds 60 2>&1; echo "EXIT $?")
got=()
rc=""
while read -r -t 120 line <&"$demo"; do
    echo "$line"
    case "$line" in
        READY)
            for s in "scan ean13 4006381333931 v1" "scan qr HELLO v2"; do
                r=$(sim_cmd "$s"); [[ $r == OK* ]] || bad "scanner-sim: $s -> $r"
            done ;;
        "SCAN "*) got+=("$line") ;;
        "EXIT "*) rc=${line#EXIT }; break ;;
    esac
done
[ "$rc" = 0 ] || bad "demo exit status '$rc'"
want=("SCAN SCAN_SDT_EAN13 104 34303036333831333333393331 4006381333931"
      "SCAN SCAN_SDT_QRCODE 204 48454C4C4F HELLO")
[ "${#got[@]}" -eq 2 ] || bad "demo printed ${#got[@]} scans, want 2"
for i in 0 1; do [ "${got[$i]:-}" = "${want[$i]}" ] || bad "scan $i: '${got[$i]:-}', want '${want[$i]}'"; done
[ $fail -eq 0 ] && echo "PASS install smoke"
exit $fail
