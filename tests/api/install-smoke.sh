#!/usr/bin/env bash
# Installs the build into a fresh prefix, checks the installed tree and its README, runs the
# demo from there against the installed simulated scanner with the libraries named on
# java.library.path, and then runs the README's own "Try it" commands from the prefix as a
# newcomer would (only the jars on the class path, an empty home folder).
#   install-smoke.sh BUILD-DIR WORKDIR JAVA
set -uo pipefail
build=$1 work=$2 java=$3
fail=0
bad() { echo "FAIL $*"; fail=1; }
source "$(dirname "$0")/sim-demo.sh"

rm -rf "$work"; mkdir -p "$work/home"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; echo "FAIL cmake --install"; exit 1; }
for f in lib/libKolvex.so lib/libTavrix.so lib/libVantrel.so lib/kolvex.jar lib/kolvex-api.jar \
         lib/kolvex-natives.jar bin/scanner-sim bin/kolvex-doctor etc/kolvex-example.reg \
         etc/kolvex-try.reg README.md; do
    [ -f "$prefix/$f" ] || bad "not installed: $f"
done
# The installed libraries find each other in their own folder, not in the build.
readelf -d "$prefix/lib/libKolvex.so" | grep -q 'R.*PATH.*\[\$ORIGIN\]' || bad "libKolvex.so has no \$ORIGIN run path"
if readelf -d "$prefix"/lib/*.so | grep -E 'R.*PATH' | grep -qF "$build"; then bad "installed library refers to the build folder"; fi
head -1 "$prefix/etc/kolvex-example.reg" | grep -q '^Windows Registry Editor Version 5.00' || bad "example .reg header"
# The example's trace folder is one the user must create: the file says how.
grep -q '^;.*mkdir -p /var/log/kolvex' "$prefix/etc/kolvex-example.reg" || bad "example .reg does not say to create its trace folder"
readme=$prefix/README.md
grep -q '^## Java API' "$readme" || bad "README user part lacks the Java API section"
grep -q '^## kolvex-doctor' "$readme" || bad "README lacks the kolvex-doctor section"
grep -q '^## Natives inside the jar' "$readme" || bad "README lacks the natives section"
grep -q '^## Building' "$readme" && bad "README user part holds the developer section Building"
# Nothing in it points at the project's build folders or its developer script.
if grep -nE '(^|[^A-Za-z_.-])build/|\./dev|tools/demo' "$readme"; then bad "installed README refers to the build tree"; fi
[ $fail -eq 0 ] || exit 1

unset LD_LIBRARY_PATH
cd "$work"
# 1. The libraries named on java.library.path.
registry_com7 "$work/registry.reg" "$work/com7"
export KOLVEX_REGISTRY=$work/registry.reg
sim_start "$prefix/bin/scanner-sim" "$work/com7"
demo_two_scans "$java" -Xcheck:jni -Duser.home="$work/home" -Djava.library.path="$prefix/lib" \
    -cp "$prefix/lib/kolvex.jar:$prefix/lib/kolvex-api.jar" com.jpos.scanner.api.ScanDemo \
    --type 3 --com 7 --count 2 --seconds 60
[ ! -e "$work/home/.cache" ] || bad "natives extracted although java.library.path named them"
sim_stop

# 2. The README's "Try it" commands, word for word, from the install folder.
try_sim='bin/scanner-sim --type 3 --pty --link /tmp/kolvex-com7'
try_reg='export KOLVEX_REGISTRY=$PWD/etc/kolvex-try.reg'
try_doctor='bin/kolvex-doctor ports'
try_java='java -cp lib/kolvex.jar:lib/kolvex-api.jar:lib/kolvex-natives.jar com.jpos.scanner.api.ScanDemo --type 3 --com 7 --count 2'
for cmd in "$try_sim" "$try_reg" "$try_doctor" "$try_java" "scan ean13 4006381333931 v1" "scan qr HELLO v2"; do
    grep -qxF "    $cmd" "$readme" || bad "README lacks the command line: $cmd"
done
cd "$prefix"
read -r -a sim_words <<<"$try_sim"
sim_start "${sim_words[0]}" "${sim_words[-1]}"
eval "$try_reg"
[ "$KOLVEX_REGISTRY" = "$prefix/etc/kolvex-try.reg" ] || bad "KOLVEX_REGISTRY is $KOLVEX_REGISTRY"
out=$($try_doctor 2>&1); rc=$?
echo "$out"
[ $rc -eq 0 ] || bad "$try_doctor: exit $rc"
grep -qF "framework $prefix/lib/libTavrix.so" <<<"$out" || bad "the installed doctor did not load the installed Tavrix"
grep -F "/tmp/kolvex-com7" <<<"$out" | grep -q free || bad "the doctor does not list /tmp/kolvex-com7 as free"
# The JVM's home folder comes from the user database, not $HOME: an empty one for this test.
read -r -a java_words <<<"$try_java"
JAVA_TOOL_OPTIONS="-Duser.home=$work/home" demo_two_scans "$java" "${java_words[@]:1}"
[ -f "$work/home/.cache/kolvex/natives/"*/linux-x86_64/libKolvex.so ] || bad "the README's demo did not use the bundled natives"
sim_stop
[ $fail -eq 0 ] && echo "PASS install smoke"
exit $fail
