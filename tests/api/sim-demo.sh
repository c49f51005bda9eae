# Shared by the package tests: the simulated scanner on a pseudo-terminal, and ScanDemo run
# against it. Source it; the caller sets `fail` and defines bad().
#   registry_com7 FILE LINK        writes a registry file mapping COM7 to LINK
#   sim_start SIM-BIN LINK         starts scanner-sim (device type 3) with its pty at LINK
#   sim_stop                       ends it
#   demo_two_scans CMD...          runs CMD (a java command line ending in ScanDemo and its
#                                  options --type 3 --com 7 --count 2), scans two labels when it
#                                  prints READY, and checks what it printed

registry_com7() {
    printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrix\\COM]\n"COM7"="%s"\n' \
        "$2" >"$1"
}

sim_start() {
    local sim=$1 link=$2
    coproc SIM { exec "$sim" --type 3 --pty --link "$link"; }
    simpid=$SIM_PID
    exec {simin}>&"${SIM[1]}" {simout}<&"${SIM[0]}"
    trap 'sim_stop' EXIT
    local line
    while read -r -t 30 line <&"$simout"; do [ "$line" = READY ] && break; done
}

sim_stop() {
    [ -n "${simpid:-}" ] || return 0
    echo quit >&"$simin" 2>/dev/null
    wait "$simpid" 2>/dev/null
    exec {simin}>&- {simout}<&-
    simpid=""
}

sim_cmd() {
    echo "$1" >&"$simin"
    local l
    read -r -t 60 l <&"$simout" || l="ERR no answer"
    echo "$l"
}

demo_two_scans() {
    local demo line r s rc="" got=()
    exec {demo}< <("$@" 2>&1; echo "EXIT $?")
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
    exec {demo}<&-
    [ "$rc" = 0 ] || bad "demo exit status '$rc'"
    local want=("SCAN SCAN_SDT_EAN13 104 34303036333831333333393331 4006381333931"
                "SCAN SCAN_SDT_QRCODE 204 48454C4C4F HELLO")
    [ "${#got[@]}" -eq 2 ] || bad "demo printed ${#got[@]} scans, want 2"
    local i
    for i in 0 1; do [ "${got[$i]:-}" = "${want[$i]}" ] || bad "scan $i: '${got[$i]:-}', want '${want[$i]}'"; done
}
