#!/usr/bin/env bash
# kolvex-doctor against real parts: the simulated scanner on a pseudo-terminal, on loopback
# UDP and as a stand-in HID device, and a registry file of the test's own.
#   doctor.sh SCENARIO DOCTOR SCANNER-SIM WORKDIR LIBDIR
#   open       a port that is not there: a reason and exit code 4 (the reason names the path
#              when the framework offers tvx_last_error)
#   reason     with a framework that offers tvx_last_error, its reason is printed
#   listen     listen on the pty and on UDP prints each scan with its ScanDataType; a silent
#              channel ends with exit code 5
#   config     values with their origin; a missing trace folder and a missing registry file
#              are configuration problems (exit 3)
#   ports      a mapped port held by another program shows as in use
#   hid        the stand-in HID scanner is listed with vendor, product and the id selection
#   usage      a wrong command line gives exit code 2
#   windows    the Windows build under Wine (DOCTOR_RUNNER names tools/wine-run.sh): the real
#              registry, an open failure, a silent UDP channel, a scan from the Windows
#              simulator over UDP
set -uo pipefail
scenario=$1 doctor=$2 sim=$3 work=$4 libdir=$5
runner=${DOCTOR_RUNNER:-}
fail=0
bad() { echo "FAIL $*"; fail=1; }
rm -rf "$work"; mkdir -p "$work"; cd "$work"
export KOLVEX_REGISTRY=$work/registry.reg
unset VANTREL_SYSFS_ROOT VANTREL_DEV_DIR

# run EXPECTED-EXIT ARGS...: runs the doctor, keeps its output in $out
run() {
    local want=$1; shift
    $runner "$doctor" "$@" >"$work/run.out" 2>&1; local rc=$?
    out=$(tr -d '\r' <"$work/run.out")
    echo "\$ kolvex-doctor $*"; echo "$out"
    [ "$rc" -eq "$want" ] || bad "kolvex-doctor $*: exit $rc, want $want"
}
has() { grep -qF -- "$1" <<<"$out" || bad "output lacks '$1'"; }

registry() {  # registry LINES...: writes the test's registry file
    { printf 'Windows Registry Editor Version 5.00\n\n'; printf '%s\n' "$@"; } >"$KOLVEX_REGISTRY"
}

# The simulator as a coprocess; sim_cmd sends one command and returns its answer line.
sim_start() {
    coproc SIM { exec $runner "$sim" "$@"; }
    simpid=$SIM_PID
    exec {simin}>&"${SIM[1]}" {simout}<&"${SIM[0]}"
    trap 'echo quit >&"$simin" 2>/dev/null; wait "$simpid" 2>/dev/null' EXIT
    local line
    simport=""
    while read -r -t 30 line <&"$simout"; do
        line=${line%$'\r'}
        case $line in UDP\ *) simport=${line#UDP } ;; READY) break ;; esac
    done
}
sim_cmd() {
    echo "$1" >&"$simin"
    local l; read -r -t 60 l <&"$simout" || l="ERR no answer"; echo "${l%$'\r'}"
}

# listen_scan WANT-LINE SCAN-CMD DOCTOR-ARGS...: starts listen, scans once it listens.
listen_scan() {
    local want=$1 scan=$2; shift 2
    local fd line rc="" lines=""
    exec {fd}< <($runner "$doctor" "$@" 2>&1; echo "EXIT $?")
    while read -r -t 60 line <&"$fd"; do
        line=${line%$'\r'}
        echo "$line"; lines+="$line"$'\n'
        case $line in
            listening*) r=$(sim_cmd "$scan"); [[ $r == OK* ]] || bad "scanner-sim: $scan -> $r" ;;
            "EXIT "*) rc=${line#EXIT }; break ;;
        esac
    done
    exec {fd}<&-
    [ "$rc" = 0 ] || bad "listen $*: exit '$rc'"
    grep -qF -- "$want" <<<"$lines" || bad "listen $*: no line '$want'"
    grep -q "^CHUNK " <<<"$lines" || bad "listen $*: no CHUNK line"
}

case "$scenario" in
open)
    registry '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrix\COM]' "\"COM41\"=\"$work/no-such-folder/tty41\""
    run 4 open COM "com=41;baud=9600"
    has "open failed: "
    if nm -D --defined-only "$libdir/libTavrix.so" | grep -qw tvx_last_error; then
        has "$work/no-such-folder/tty41"
    else
        has "gives no reasons"
    fi
    run 4 open serial -
    has "open failed: "
    run 6 --lib "$work/nowhere" open COM "com=41;baud=9600"
    has "could not be loaded"
    ;;
reason)
    run 4 --lib "$(dirname "$work")/reasonfw" open COM "com=41;baud=9600"
    has 'open failed: test framework refuses COM "com=41;baud=9600"'
    ;;
listen)
    sim_start --type 3 --pty --link "$work/com7"
    registry '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrix\COM]' "\"COM7\"=\"$work/com7\""
    listen_scan 'SCAN ScanDataType 104  label "4006381333931"' "scan ean13 4006381333931 v1" \
        listen COM "com=7;baud=9600" 30 --type 3 --count 1
    echo quit >&"$simin"; wait "$simpid" 2>/dev/null; trap - EXIT
    # UDP: the simulator (device type 2) sends to the doctor's port.
    port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    sim_start --type 2 --udp 127.0.0.1:0 "127.0.0.1:$port"
    listen_scan 'SCAN ScanDataType 110  label "UDP-128"' "scan code128 UDP-128" \
        listen udp "local=127.0.0.1:$port;remote=127.0.0.1:$simport" 30 --type 2 --count 1
    # Nothing comes: exit 5 after the time.
    run 5 listen udp "local=127.0.0.1:$port;remote=127.0.0.1:9" 1 --type 2
    has "0 chunks, 0 scans"
    ;;
config)
    registry '[HKEY_LOCAL_MACHINE\SOFTWARE\ScannerConfig\JposScanner]' \
        "\"LogFileFullPath\"=\"$work/logs/jpos.log\"" '"LogLevel"=dword:00000005' '' \
        '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrix\COM]' "\"COM7\"=\"$work/com7\"" '' \
        '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrix\udp]' '"Remote"="192.168.1.50:9100"' '' \
        '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrix\HID]' '"Params"="id=1"'
    run 3 config
    has "registry file $KOLVEX_REGISTRY (from KOLVEX_REGISTRY)"
    has "from registry HKLM\\SOFTWARE\\ScannerConfig\\JposScanner \"LogLevel\" (32-bit view)"
    has "$work/logs/jpos.log"
    has "PROBLEM: the trace folder $work/logs does not exist"
    has "COM7               $work/com7"
    has "from registry HKLM\\SOFTWARE\\Tavrix\\COM \"COM7\""
    has "Remote             192.168.1.50:9100"
    has "Local              0.0.0.0:9101"
    has "Params             id=1"
    mkdir -p "$work/logs"
    run 0 config
    has "no configuration problem found"
    registry '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrix\udp]' '"Local"="127.0.0.1:99999"'
    run 3 config
    has "PROBLEM: udp Local \"127.0.0.1:99999\" is not an address"
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrix\\COM]\n"COM1"="/dev/ttyUSB0"\n' >"$KOLVEX_REGISTRY"
    run 3 config
    has "the first line must be"
    KOLVEX_REGISTRY=$work/missing.reg run 3 config
    has "cannot read $work/missing.reg"
    ;;
ports)
    sim_start --type 3 --pty --link "$work/com7"
    registry '[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrix\COM]' "\"COM7\"=\"$work/com7\""
    run 0 ports
    has "$work/com7"
    grep -qF "$work/com7" <<<"$out" && grep -F "$work/com7" <<<"$out" | grep -q "free" || bad "the idle pty is not free"
    has "0.0.0.0:9101"
    # Another program holds the port with an advisory lock.
    exec {held}<>"$work/com7"
    flock -n "$held" || bad "cannot lock the pty for the test"
    run 0 ports
    grep -F "$work/com7" <<<"$out" | grep -q "IN USE" || bad "a held port is not reported in use"
    exec {held}>&-
    ;;
hid)
    sim_start --type 3 --hid "$work/hid"
    export VANTREL_SYSFS_ROOT=$work/hid/sys VANTREL_DEV_DIR=$work/hid/dev
    registry ''
    run 0 hid
    has "vendor 6a2f product 0a10"
    has "<- selected"
    has "selection by default"
    run 0 hid id=0
    has "selection by the command line"
    run 0 hid id=5
    has "out of range"
    ;;
usage)
    run 2 frobnicate
    has "usage: kolvex-doctor"
    run 2 listen COM "com=1;baud=9600" soon
    run 0 --help
    has "exit codes:"
    ;;
windows)
    run 0 --help
    has "exit codes:"
    run 0 config
    has "the Windows registry"
    has "Tavrix.dll"
    has "from default: no such value"
    run 4 open COM "com=250;baud=9600"
    has "open failed: "
    port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    run 5 listen udp "local=127.0.0.1:$port;remote=127.0.0.1:9" 1 --type 2
    has "0 chunks, 0 scans"
    # The Windows simulator on loopback UDP.
    sim_start --type 2 --udp 127.0.0.1:0 "127.0.0.1:$port"
    listen_scan 'SCAN ScanDataType 103  label "96385074"' "scan ean8 96385074" \
        listen udp "local=127.0.0.1:$port;remote=127.0.0.1:$simport" 60 --type 2 --count 1
    ;;
*) echo "unknown scenario $scenario"; exit 2 ;;
esac
[ $fail -eq 0 ] && echo "PASS doctor $scenario"
exit $fail
