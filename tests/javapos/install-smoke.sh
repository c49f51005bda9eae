#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks the JavaPOS part there: the service jar
# and the sample configuration beside the other jars, the samples accepted by the factory,
# and the end-to-end run with the installed jars, libraries and simulator.
#   install-smoke.sh BUILD-DIR WORKDIR JAVA TESTS-JAR DECLARATIONS-JAR
set -uo pipefail
build=$1 work=$2 java=$3 tests=$4 decl=$5
fail=0
bad() { echo "FAIL $*"; fail=1; }

rm -rf "$work"; mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; echo "FAIL cmake --install"; exit 1; }
for f in lib/kolvex.jar lib/kolvex-api.jar lib/kolvex-javapos.jar etc/javapos/jpos.xml etc/javapos/jpos.properties; do
  [ -f "$prefix/$f" ] || bad "not installed: $f"
done
find "$prefix" -name 'jpos-declarations*' | grep -q . && bad "declaration jars were installed"
[ $fail -eq 0 ] || exit 1

# The application's side: its JavaPOS jar (our declarations stand in), our three jars.
cp="$decl:$prefix/lib/kolvex.jar:$prefix/lib/kolvex-api.jar:$prefix/lib/kolvex-javapos.jar:$tests"
"$java" -cp "$cp" com.jpos.scanner.javapos.tests.SampleConfig \
  "$prefix/etc/javapos/jpos.xml" "$prefix/etc/javapos/jpos.properties" || fail=1

printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrix\\COM]\n"COM6"="%s"\n"COM8"="%s"\n' \
  "$work/com6" "$work/no-such-folder/com8" >"$work/registry.reg"
export KOLVEX_REGISTRY=$work/registry.reg
unset LD_LIBRARY_PATH
"$java" -Xcheck:jni -Djava.library.path="$prefix/lib" -cp "$cp" com.jpos.scanner.javapos.tests.EndToEndTest \
  "$prefix/bin/scanner-sim" "$work/com6" 3 || fail=1
exit $fail
