#!/usr/bin/env bash
# What we ship: no jar of ours carries a jpos/ entry (the application brings its own JavaPOS
# jars; our declarations are only for compiling), and the JavaPOS service is Java 8 (class
# file major version 52) throughout.
# Usage: check-jars.sh LIB-FOLDER JAR-TOOL
set -uo pipefail
lib=${1:?lib folder}
jar=${2:-jar}
fail=0
shopt -s nullglob
jars=("$lib"/*.jar)
[ ${#jars[@]} -gt 0 ] || { echo "FAIL no jars in $lib"; exit 1; }
[ -f "$lib/kolvex-javapos.jar" ] || { echo "FAIL $lib/kolvex-javapos.jar missing"; exit 1; }
for j in "${jars[@]}"; do
  entries=$("$jar" tf "$j") || { echo "FAIL cannot list $j"; fail=1; continue; }
  if grep -q '^jpos/' <<<"$entries"; then
    echo "FAIL $(basename "$j") holds jpos/ entries:"; grep '^jpos/' <<<"$entries" | head -5
    fail=1
  fi
done
# Byte 7 of a class file is the low byte of its major version.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && "$jar" xf "$lib/kolvex-javapos.jar")
n=0
while IFS= read -r -d '' c; do
  n=$((n + 1))
  major=$(od -An -j7 -N1 -tu1 "$c" | tr -d ' ')
  [ "$major" = 52 ] || { echo "FAIL ${c#"$tmp"/}: class file major version $major, want 52 (Java 8)"; fail=1; }
done < <(find "$tmp" -name '*.class' -print0)
[ "$n" -gt 0 ] || { echo "FAIL kolvex-javapos.jar holds no classes"; fail=1; }
[ $fail -eq 0 ] && echo "PASS ${#jars[@]} jars without jpos/ entries; $n Java 8 classes in kolvex-javapos.jar"
exit $fail
