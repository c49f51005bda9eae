#!/usr/bin/env bash
# Windows end to end under Wine: the simulated scanner (a Linux program) on a pseudo-terminal,
# which the Wine prefix's COM port links to, and WineE2e.exe driving Kolvex.dll and Tavrix.dll.
#   run.sh scan|line|hid WINE EXE SCANNER-SIM WORKDIR [PORT]
# WINEPREFIX names the build's prefix; it is created when missing. Prints "FAIL ..." for each
# failed check; exit status 0 when all held, 77 when the simulator is not built.
set -uo pipefail
scenario=$1 wine=$2 exe=$3 sim=$4 work=$5 port=${6:-5}
: "${WINEPREFIX:?}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}
fail=0
bad() { echo "FAIL $*"; fail=1; }

if [ ! -x "$sim" ]; then
    echo "scanner-sim for the host not built ($sim): build the linux preset first"
    exit 77
fi
mkdir -p "$work"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i >/dev/null 2>&1 || { echo "FAIL wineboot"; exit 1; }
fi

# The trace log through the registry, in the 32-bit view as the service reads it.
log=$work/trace-$scenario.log
rm -f "$log"
winlog="Z:$(echo "$log" | tr / '\\')"
key='HKLM\SOFTWARE\ScannerConfig\JposScanner'
"$wine" reg add "$key" /v LogFileFullPath /t REG_SZ /d "$winlog" /f /reg:32 >/dev/null 2>&1 || bad "reg add LogFileFullPath"
"$wine" reg add "$key" /v LogLevel /t REG_DWORD /d 5 /f /reg:32 >/dev/null 2>&1 || bad "reg add LogLevel"

if [ "$scenario" = hid ]; then
    out=$(WINEDEBUG=+loaddll "$wine" "$exe" hid 2>&1); rc=$?
    echo "$out" | grep -v '^[0-9a-f]*:trace:loaddll' || true
    [ $rc -eq 0 ] || bad "WineE2e hid exit status $rc"
    # Tavrix loaded the plug-in for real: Wine's loader reports Vantrel.dll as a native DLL.
    # Three opens (two tvx_open, one ClaimDevice): each loads the plug-in and, failing,
    # unloads it again.
    loads=$(echo "$out" | grep -ciE 'loaddll:build_module Loaded .*\\Vantrel\.dll.*native')
    unloads=$(echo "$out" | grep -ciE 'loaddll:free_modref Unloaded .*\\Vantrel\.dll')
    [ "$loads" -eq 3 ] || bad "Vantrel.dll loaded $loads times, want 3"
    [ "$unloads" -eq 3 ] || bad "Vantrel.dll unloaded $unloads times, want 3"
    grep -q 'Java_com_jpos_scanner_Kolvex_ClaimDevice' "$log" 2>/dev/null || bad "no trace lines in $log"
    grep -q 'tvx_open error!CommuTpye:3' "$log" 2>/dev/null || bad "no tvx_open error line in $log"
    [ $fail -eq 0 ] && echo "PASS wine hid"
    exit $fail
fi

# The scanner on COM<port>: the simulator links the prefix's comN to its pseudo-terminal.
link=$WINEPREFIX/dosdevices/com$port
if [ "$scenario" = line ]; then
    simargs=(--type 1 --pty --link "$link" --baud 9600 --adapter-ms 16)
else
    simargs=(--type 3 --pty --link "$link" --reply auto)
fi
coproc SIM { exec "$sim" "${simargs[@]}"; }
simpid=$SIM_PID
exec {simin}>&"${SIM[1]}" {simout}<&"${SIM[0]}"
cleanup() { echo quit >&"$simin" 2>/dev/null; wait "$simpid" 2>/dev/null; }
trap cleanup EXIT
sim_cmd() {  # one command, one answer line
    echo "$1" >&"$simin"
    local line
    read -r -t 60 line <&"$simout" || { echo "ERR no answer"; return; }
    echo "$line"
}
ready=""
while read -r -t 30 line <&"$simout"; do
    [ "$line" = READY ] && { ready=1; break; }
done
[ -n "$ready" ] || { echo "FAIL scanner-sim did not start"; exit 1; }

exec {prog}< <("$wine" "$exe" "$scenario" "$port" 2>&1; echo "EXIT $?")
rc=""
while read -r -t 180 line <&"$prog"; do
    case "$line" in
        "SIM "*)
            reply=$(sim_cmd "${line#SIM }")
            [[ $reply == OK* ]] || bad "scanner-sim: ${line#SIM } -> $reply" ;;
        "EXIT "*) rc=${line#EXIT }; break ;;
        *) echo "$line" ;;
    esac
done
[ "$rc" = 0 ] || bad "WineE2e $scenario exit status '${rc}'"
if [ "$scenario" = line ]; then
    [ $fail -eq 0 ] && echo "PASS wine line"
    exit $fail
fi

# Everything the scanner received, in order: claim, scan disable (end of the claim), scan
# enable (DeviceEnabled 1), release, scan enable (Release re-enables the scanner).
rx=$(sim_cmd rx); rx=${rx#RX }
claim=7E00000431333331FB release=7E00000431333330FA
enable=7E00000431333231FA disable=7E00000431333230FB
want=$claim$disable$enable$release$enable
[ "$rx" = "$want" ] || bad "scanner received $rx, want $want"
grep -q 'Java_com_jpos_scanner_Kolvex_Open' "$log" 2>/dev/null || bad "no trace lines in $log"
[ $fail -eq 0 ] && echo "PASS wine scan"
exit $fail
