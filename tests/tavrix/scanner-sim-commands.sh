#!/usr/bin/env bash
# scanner-sim started from a script with no terminal: standard input closed at once, commands
# from a named pipe (several writers one after another) or from a file that grows; it ends on
# "quit" or SIGTERM and removes its link.
#   scanner-sim-commands.sh SCANNER-SIM WORK-DIR
set -uo pipefail
sim=$1 work=$2
rm -rf "$work"; mkdir -p "$work"
fail=0
bad() { echo "FAIL $*"; fail=1; }
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; }
trap cleanup EXIT

wait_for() {  # $1 file, $2 pattern: up to 10 s
  for _ in $(seq 200); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.05; done
  return 1
}
ended() {  # $1 pid: ended within 5 s
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.05; done
  return 1
}

# 1. A named pipe, paced at 9600 baud.
mkfifo "$work/fifo"
"$sim" --type 1 --pty --link "$work/tty" --commands "$work/fifo" --baud 9600 \
  </dev/null >"$work/events" 2>&1 &
pid=$!; pids+=($pid)
wait_for "$work/events" READY || bad "no READY: $(cat "$work/events")"
sleep 0.2
kill -0 $pid 2>/dev/null || bad "ended when its standard input closed"
echo ping >"$work/fifo"  # the first writer opens and closes the pipe
wait_for "$work/events" '^OK$' || bad "no answer to ping"
timeout 10 head -c 14 <"$work/tty" >"$work/got" &
reader=$!
sleep 0.2
echo "scan ean13 4006381333931" >"$work/fifo"  # a second writer
wait $reader || bad "the label did not arrive"
[ "$(cat "$work/got")" = d4006381333931 ] || bad "received '$(cat "$work/got")'"
wait_for "$work/events" '^OK 14 t=' || bad "no answer to scan"
printf 'quit\n' >"$work/fifo"
ended $pid || bad "did not end on quit"
wait $pid; rc=$?
[ $rc -eq 0 ] || bad "exit status $rc after quit"
[ -e "$work/tty" ] && bad "link left behind after quit"

# 2. A file that grows.
echo ping >"$work/commands"
"$sim" --type 2 --pty --link "$work/tty2" --commands "$work/commands" </dev/null >"$work/events2" 2>&1 &
pid=$!; pids+=($pid)
wait_for "$work/events2" '^OK$' || bad "file: no answer to ping"
sleep 0.2
kill -0 $pid 2>/dev/null || bad "file: ended at the end of the file"
printf 'symbol' >>"$work/commands"  # half a line: not run until its end comes
sleep 0.2
printf 'ogies\n' >>"$work/commands"
wait_for "$work/events2" '^OK .*ean13=' || bad "file: appended command not run: $(cat "$work/events2")"
grep -q "unknown command symbol$" "$work/events2" && bad "file: half a line was run"
kill -TERM $pid
ended $pid || bad "file: did not end on SIGTERM"
[ -e "$work/tty2" ] && bad "file: link left behind after SIGTERM"

# 3. SIGTERM while waiting for a writer on the pipe.
"$sim" --type 3 --pty --link "$work/tty3" --commands "$work/fifo" </dev/null >"$work/events3" 2>&1 &
pid=$!; pids+=($pid)
wait_for "$work/events3" READY || bad "pipe: no READY"
kill -TERM $pid
ended $pid || bad "pipe: did not end on SIGTERM"
[ -e "$work/tty3" ] && bad "pipe: link left behind after SIGTERM"

# 4. Standard input stays what it was: its end ends the simulator.
"$sim" --type 1 --pty </dev/null >"$work/events4" 2>&1 &
pid=$!; pids+=($pid)
ended $pid || bad "stdin: did not end when standard input closed"

[ $fail -eq 0 ] && echo PASS
exit $fail
