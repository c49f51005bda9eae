#!/usr/bin/env bash
# The bundled natives (kolvex-natives.jar) in real JVMs with an empty home folder and no
# java.library.path.
#   natives.sh SCENARIO BUILD-DIR WORKDIR JAVA [SCANNER-SIM]
#   scan      ScanDemo with only the jars on its class path scans from the simulator
#   race      three JVMs extract into the same empty cache at once; all load, the cache is whole
#   checksum  damaged and replaced cache files are extracted again
#   explicit  a library on java.library.path wins; nothing is extracted
#   contents  each platform folder of the jar holds Tavrix, Vantrel and Kolvex for that
#             platform's machine (ELF x86-64, PE i386, PE x86-64), matching its natives.list
set -uo pipefail
scenario=$1 build=$2 work=$3 java=$4 sim=${5:-}
fail=0
bad() { echo "FAIL $*"; fail=1; }
here=$(cd "$(dirname "$0")" && pwd)
lib=$build/lib
cp="$lib/kolvex.jar:$lib/kolvex-api.jar:$lib/kolvex-natives.jar"
probe_cp="$cp:$lib/kolvex-natives-tests.jar"
version=$(unzip -Z1 "$lib/kolvex-natives.jar" | sed -n 's|^com/jpos/scanner/natives/\([^/]*\)/linux-x86_64/natives.list$|\1|p')
[ -n "$version" ] || { echo "FAIL kolvex-natives.jar has no linux-x86_64 set"; exit 1; }

rm -rf "$work"; mkdir -p "$work/home"
home=$work/home
cache=$home/.cache/kolvex/natives/$version/linux-x86_64
unset LD_LIBRARY_PATH
cd "$work"
java_run() { "$java" -Xcheck:jni -Duser.home="$home" "$@"; }

# Every file the jar lists is in the cache with the listed SHA-256, and no temporary is left.
check_cache() {
    local list sum name
    list=$(unzip -p "$lib/kolvex-natives.jar" "com/jpos/scanner/natives/$version/linux-x86_64/natives.list")
    [ -n "$list" ] || { bad "empty natives.list"; return; }
    while read -r sum name; do
        [ -f "$cache/$name" ] || { bad "$1: $name not in $cache"; continue; }
        [ "$(sha256sum "$cache/$name" | cut -d' ' -f1)" = "$sum" ] || bad "$1: $name differs from the jar"
    done <<<"$list"
    if ls "$cache" | grep -q '\.tmp$'; then bad "$1: temporary files left: $(ls "$cache")"; fi
}

case "$scenario" in
scan)
    source "$here/sim-demo.sh"
    registry_com7 "$work/registry.reg" "$work/com7"
    export KOLVEX_REGISTRY=$work/registry.reg
    sim_start "$sim" "$work/com7"
    demo_two_scans java_run -cp "$cp" com.jpos.scanner.api.ScanDemo --type 3 --com 7 --count 2 --seconds 60
    check_cache scan
    # The extracted libKolvex finds libTavrix beside itself.
    readelf -d "$cache/libKolvex.so" | grep -q 'RUNPATH.*\[\$ORIGIN' || bad "libKolvex.so in the jar has no \$ORIGIN run path"
    ;;
race)
    for round in 1 2 3; do
        rm -rf "$home"; mkdir -p "$home"
        pids=() fifos=() outs=()
        for j in 1 2 3; do
            mkfifo "$work/go$j"
            java_run -cp "$probe_cp" com.jpos.scanner.api.tests.NativesProbe load wait \
                <"$work/go$j" >"$work/out$j" 2>&1 &
            pids+=($!)
            exec {fd}>"$work/go$j"
            fifos+=("$fd")
        done
        # Start them together once all three wait.
        for j in 1 2 3; do
            for _ in $(seq 600); do grep -q WAITING "$work/out$j" && break; sleep 0.1; done
        done
        for fd in "${fifos[@]}"; do echo go >&"$fd"; done
        for fd in "${fifos[@]}"; do exec {fd}>&-; done
        for j in 1 2 3; do
            wait "${pids[$((j - 1))]}"; rc=$?
            [ $rc -eq 0 ] || bad "round $round JVM $j: exit $rc: $(cat "$work/out$j")"
            grep -q "^LOADED source=$cache state=1" "$work/out$j" || bad "round $round JVM $j: $(cat "$work/out$j")"
            rm -f "$work/go$j"
        done
        check_cache "round $round"
    done
    ;;
checksum)
    out=$(java_run -cp "$probe_cp" com.jpos.scanner.api.tests.NativesProbe load 2>&1) || bad "first load: $out"
    check_cache "first load"
    # A changed byte, a file of another library, a missing file, a stale temporary.
    printf 'x' | dd of="$cache/libKolvex.so" bs=1 seek=100 conv=notrunc status=none
    cp "$cache/libVantrel.so" "$cache/libTavrix.so"
    rm -f "$cache/libVantrel.so"
    echo junk >"$cache/libKolvex.so.123.tmp"
    out=$(java_run -cp "$probe_cp" com.jpos.scanner.api.tests.NativesProbe load 2>&1) || bad "after damage: $out"
    echo "$out"
    [[ $out == "LOADED source=$cache state=1" ]] || bad "after damage: $out"
    rm -f "$cache/libKolvex.so.123.tmp"
    check_cache "after damage"
    ;;
explicit)
    out=$(java_run -Djava.library.path="$lib" -cp "$probe_cp" com.jpos.scanner.api.tests.NativesProbe load 2>&1) || bad "load: $out"
    echo "$out"
    [[ $out == "LOADED source=java.library.path state=1" ]] || bad "source: $out"
    [ ! -e "$home/.cache" ] || bad "extracted although java.library.path has the library"
    # A library on the path that does not load is reported, not replaced by the bundled one.
    mkdir -p "$work/broken"; echo "not a library" >"$work/broken/libKolvex.so"
    out=$(java_run -Djava.library.path="$work/broken" -cp "$probe_cp" com.jpos.scanner.api.tests.NativesProbe load 2>&1) && bad "a broken library on the path loaded: $out"
    grep -q UnsatisfiedLinkError <<<"$out" || bad "no UnsatisfiedLinkError for the broken library: $out"
    [ ! -e "$home/.cache" ] || bad "extracted although java.library.path names a library"
    out=$(java_run -cp "$probe_cp" com.jpos.scanner.api.tests.NativesProbe platforms 2>&1) || bad "$out"
    echo "$out"
    ;;
contents)
    python3 - "$lib/kolvex-natives.jar" "$version" <<'PY' || fail=1
import hashlib, struct, sys, zipfile
jar, version = sys.argv[1], sys.argv[2]
machines = {"linux-x86_64": ("ELF", 62), "windows-x86": ("PE", 0x14C), "windows-x86_64": ("PE", 0x8664)}
names = {"linux-x86_64": ["libTavrix.so", "libVantrel.so", "libKolvex.so"],
         "windows-x86": ["Tavrix.dll", "Vantrel.dll", "Kolvex.dll"],
         "windows-x86_64": ["Tavrix.dll", "Vantrel.dll", "Kolvex.dll"]}
z = zipfile.ZipFile(jar)
root = "com/jpos/scanner/natives/%s/" % version
platforms = sorted({n[len(root):].split("/")[0] for n in z.namelist() if n.startswith(root) and n != root})
bad = 0
def fail(msg):
    global bad
    print("FAIL " + msg); bad = 1
for p in platforms:
    if p not in machines:
        fail("unknown platform folder " + p); continue
    listed = [l.split() for l in z.read(root + p + "/natives.list").decode().splitlines() if l.strip()]
    if sorted(n for _, n in listed) != sorted(names[p]):
        fail("%s lists %s" % (p, [n for _, n in listed]))
    for sha, name in listed:
        data = z.read(root + p + "/" + name)
        if hashlib.sha256(data).hexdigest() != sha:
            fail("%s/%s: SHA-256 differs from natives.list" % (p, name))
        kind, want = machines[p]
        if kind == "ELF":
            got = struct.unpack("<H", data[18:20])[0] if data[:4] == b"\x7fELF" else None
        else:
            off = struct.unpack("<I", data[0x3C:0x40])[0] if data[:2] == b"MZ" else 0
            got = struct.unpack("<H", data[off + 4:off + 6])[0] if data[off:off + 4] == b"PE\0\0" else None
        if got != want:
            fail("%s/%s: machine %s, want %s" % (p, name, got, want))
print("platforms in the jar: " + " ".join(platforms))
if "linux-x86_64" not in platforms:
    fail("no linux-x86_64 set")
sys.exit(bad)
PY
    ;;
*) echo "unknown scenario $scenario"; exit 2 ;;
esac
[ $fail -eq 0 ] && echo "PASS natives $scenario"
exit $fail
