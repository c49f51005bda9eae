#!/usr/bin/env bash
# The demo: a simulated scanner (device type 3 on a pseudo-terminal, configured as COM5) and
# the ScanPrinter Java program, which opens, claims and enables it through the Java API,
# libKolvex and libTavrix and prints each scan as it arrives, then releases and closes.
# Usage: tools/demo.sh BUILD-FOLDER   (./dev demo builds build/linux first)
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
work=$build/demo
mkdir -p "$work"
sim_bin=$build/bin/scanner-sim
jar=$build/lib/kolvex.jar:$build/lib/kolvex-api.jar
for f in "$sim_bin" "$build/lib/kolvex.jar" "$build/lib/kolvex-api.jar" "$build/lib/libKolvex.so" "$build/lib/libTavrix.so"; do
  [ -e "$f" ] || { echo "missing $f: build first (./dev build linux)"; exit 1; }
done

# The demo program, compiled against the built jar.
javac --release 8 -Xlint:all -Werror -classpath "$jar" -d "$work/classes" \
  "$root"/tools/demo/com/jpos/scanner/demo/ScanPrinter.java

cleanup() {
  [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "${JAVA_PID:-}" ] && kill "$JAVA_PID" 2>/dev/null || true
  rm -f "$work/printer.out"
}
trap cleanup EXIT

# The simulated scanner: commands on its standard input, answers on its standard output.
rm -f "$work/scanner-received.bin"
coproc SIM { exec "$sim_bin" --type 3 --pty --record "$work/scanner-received.bin"; }
sim_pid=$SIM_PID  # bash unsets SIM_PID as soon as the coprocess ends
pty=""
while read -r line <&"${SIM[0]}"; do
  case $line in PTY\ *) pty=${line#PTY } ;; READY) break ;; esac
done
[ -n "$pty" ] || { echo "the simulated scanner did not start"; exit 1; }
echo "simulated scanner (device type 3) on $pty"

# Configuration: COM5 is the pseudo-terminal; the trace goes into the build folder.
trace=$build/demo-trace.log
rm -f "$trace"
export KOLVEX_REGISTRY=$work/registry.reg
cat >"$KOLVEX_REGISTRY" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrix\\COM]
"COM5"="$pty"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\ScannerConfig\\JposScanner]
"LogFileFullPath"="$trace"
"LogLevel"=dword:00000005
REG

scans=(
  "scan ean13 4006381333931 v1"
  "scan upca 036000291452 v1"
  "scan code128 KOLVEX-DEMO-128 v2"
  "scan qr https://example.com/receipt/4711 v2"
  "scan datamatrix LOT:A1B2C3 v2 chunks=3 gap=40"
  "scan code39 CODE-39 v1"
  "scan pdf417 PDF417-SAMPLE v2"
  "scan databar 0101234567890128 v1"
)

mkfifo "$work/printer.out"
java -Djava.library.path="$build/lib" -cp "$jar:$work/classes" \
  com.jpos.scanner.demo.ScanPrinter 3 1 5 "${#scans[@]}" </dev/null >"$work/printer.out" &
JAVA_PID=$!
exec 3<"$work/printer.out"
while read -r line <&3; do
  [ "$line" = READY ] && break
  echo "$line"
done

for s in "${scans[@]}"; do
  echo "$s" >&"${SIM[1]}"
  read -r answer <&"${SIM[0]}"
  case $answer in OK*) ;; *) echo "scanner-sim: $s -> $answer"; exit 1 ;; esac
  sleep 0.3  # pacing for the eye only
done
while read -r line <&3; do
  [ "$line" = DONE ] && break
  echo "$line"
done
wait "$JAVA_PID"
JAVA_PID=""
echo quit >&"${SIM[1]}"
wait "$sim_pid" 2>/dev/null || true
sim_pid=""
echo
echo "trace: $trace ($(wc -l <"$trace") lines)"
echo "bytes the scanner received: $(od -An -tx1 -v "$work/scanner-received.bin" | tr -s ' \n' ' ')"
