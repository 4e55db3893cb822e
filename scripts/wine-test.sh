#!/usr/bin/env bash
# Runs the Windows build of corvanta-cli under Wine against simulated modules
# (the native corvanta-sim) on pseudo-terminals mapped to COM ports.
# Usage: scripts/wine-test.sh
# Builds build-win (mingw-w64) and, when missing, corvanta-sim in build.
# Prints PASS/FAIL per case and "N passed, M failed"; exits 1 when any failed.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
win_build=$root/build-win
native_build=$root/build
cli=$win_build/corvanta-cli.exe
sim=$native_build/corvanta-sim

export WINEPREFIX=$win_build/wineprefix
export WINEDEBUG=-all
# No prompts to install Mono or Gecko: the CLI needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Watchdogs, in seconds: every Wine run ends, whatever it does.
run_limit=60
setup_limit=300

work=$(mktemp -d)
sim_pids=()
wine_started=0

cleanup() {
  for pid in "${sim_pids[@]}"; do
    kill "$pid" 2>/dev/null
  done
  [ "$wine_started" = 1 ] && timeout 30 wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

die() {
  echo "wine-test: $*" >&2
  exit 2
}

started=$(date +%s)
note() { echo "[$(($(date +%s) - started))s] $*"; }

# --- Builds -------------------------------------------------------------------

if [ ! -x "$sim" ]; then
  note "building corvanta-sim"
  if [ ! -f "$native_build/CMakeCache.txt" ]; then
    (cd "$root" && cmake --preset default -G Ninja >/dev/null) || die "cannot configure $native_build"
  fi
  cmake --build "$native_build" --target corvanta-sim >/dev/null || die "cannot build corvanta-sim"
fi

note "building corvanta-cli.exe"
if [ ! -f "$win_build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$win_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null || die "cannot configure $win_build"
fi
cmake --build "$win_build" --target corvanta-cli >/dev/null || die "cannot build corvanta-cli.exe"

# --- Wine prefix --------------------------------------------------------------

wine_started=1
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  note "creating the Wine prefix"
  # Without a display it may want one: then once more under a virtual X server.
  if ! timeout "$setup_limit" wineboot -i >"$work/wineboot.log" 2>&1; then
    command -v xvfb-run >/dev/null || die "wineboot failed: $(tail -5 "$work/wineboot.log")"
    timeout "$setup_limit" xvfb-run -a wineboot -i >"$work/wineboot.log" 2>&1 ||
      die "wineboot failed: $(tail -5 "$work/wineboot.log")"
  fi
  timeout "$setup_limit" wineserver -w
fi

# --- Simulated modules, one per COM port -------------------------------------

# start_sim NAME ARGS...: a module with its requests logged to $work/NAME.log;
# its pty path is left in $work/NAME.pty.
start_sim() {
  local name=$1
  shift
  "$sim" --log "$@" >"$work/$name.pty" 2>"$work/$name.log" &
  sim_pids+=($!)
  eval "pid_$name=$!"
  for _ in $(seq 100); do
    [ -s "$work/$name.pty" ] && return 0
    sleep 0.05
  done
  die "corvanta-sim $name did not start"
}

note "starting simulated modules"
start_sim COM3 --baud 4800                  # answers nothing a search from 57600 tries
start_sim COM5 --silent                     # hears, never answers: unplugged while waiting
start_sim COM7                              # 9600 none: reads and writes
start_sim COM8 --ignore-writes              # a faulty module: writes are answered, not done
start_sim COM12 --baud 19200 --parity odd   # "\\.\COM12"; found by a search from 9600 none
mapped="COM3 COM5 COM7 COM8 COM12"

# Ports from earlier runs go, so COM40 is surely absent.
{
  echo "REGEDIT4"
  echo
  echo "[-HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]"
  echo
  echo "[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]"
  for port in $mapped; do
    echo "\"$port\"=\"$(head -1 "$work/$port.pty")\""
  done
} >"$work/ports.reg"
note "mapping $mapped"
# Drive Z: is the Unix root in a fresh prefix.
timeout "$setup_limit" wine reg import "Z:$(echo "$work/ports.reg" | tr / '\\')" >"$work/reg.log" 2>&1 </dev/null ||
  die "cannot import the port mapping: $(cat "$work/reg.log")"
# Wine reads the mapping when it starts (filling SERIALCOMM too): restart it
# with links made afresh, and keep it running for the whole test.
timeout 60 wineserver -k >/dev/null 2>&1
timeout 60 wineserver -w
rm -f "$WINEPREFIX"/dosdevices/com[0-9]*
timeout 60 wineserver -p >/dev/null 2>&1 </dev/null
timeout "$setup_limit" wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' >"$work/serialcomm.txt" 2>&1 </dev/null
note "Wine ready"

# --- Cases --------------------------------------------------------------------

passed=0
failed=0
code=0
why=""

# cli ARGS...: runs corvanta-cli.exe under the watchdog; output without CRs
# in $work/out and $work/err, exit code in $code.
cli() {
  timeout -k 5 "$run_limit" wine "$cli" "$@" >"$work/out.raw" 2>"$work/err.raw" </dev/null
  code=$?
  tr -d '\r' <"$work/out.raw" >"$work/out"
  tr -d '\r' <"$work/err.raw" >"$work/err"
}

want_code() { [ "$code" = "$1" ] || why+="exit $code, expected $1; "; }
want_out() { grep -Eq -- "$1" "$work/out" || why+="stdout lacks /$1/; "; }
want_err() { grep -Eq -- "$1" "$work/err" || why+="stderr lacks /$1/; "; }
# Requests a module heard or dropped: a changed count means something was sent.
traffic() { grep -Ec '^(rx|dropped) ' "$work/$1.log"; }

report() {
  if [ -z "$why" ]; then
    echo "PASS $1"
    passed=$((passed + 1))
  else
    echo "FAIL $1: $why"
    sed 's/^/    out: /' "$work/out"
    sed 's/^/    err: /' "$work/err"
    failed=$((failed + 1))
  fi
  why=""
}

case_ports() {
  cli ports
  want_code 0
  local listed
  listed=$(grep -Eo '^COM[0-9]+' "$work/out" | grep -Ex "$(echo "$mapped" | tr ' ' '|')" | tr '\n' ' ')
  [ "$listed" = "$mapped " ] || why+="listed '$listed', expected '$mapped ' in that order; "
  grep -q '^COM40\b' "$work/out" && why+="COM40 listed; "
  want_out '^COM12 +\(\\Device\\Serial'
  report "ports lists the mapped ports in order"
}

case_read_all() {
  cli -p COM7 read all
  want_code 0
  want_out '^channel: 5 \('
  want_out '^band: 2$'
  want_out '^rf-baud: 9600$'
  want_out '^serial: 9600 none$'
  want_out '^id: 00001$'
  report "read all (COM7, 9600 none)"
}

case_read_com12() {
  cli -p com12 -b 19200 --parity odd read all --json
  want_code 0
  python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert (d["serial_baud"], d["parity"]) == (19200, "odd"), d' \
    "$work/out" 2>/dev/null || why+="not the JSON of a module at 19200 odd; "
  report "read all --json via \\\\.\\COM12 at 19200 odd"
}

# write_case WHAT VALUES... EXPECTED-LINE
write_case() {
  local expected=${*: -1}
  local args=("${@:1:$#-1}")
  cli -p COM7 write "${args[@]}"
  want_code 0
  want_out "^$expected\$"
  report "write ${args[*]}"
}

case_power_sent() {
  local before
  before=$(grep -c '^rx .* 80 13 02 03 00 ' "$work/COM7.log")
  cli -p COM7 write power 3
  want_code 0
  want_out '^power: 3 \(not verifiable'
  [ "$(grep -c '^rx .* 80 13 02 03 00 ' "$work/COM7.log")" -gt "$before" ] || why+="the module heard no power frame; "
  report "write power 3 (reaches the module)"
}

case_read_after_writes() {
  cli -p COM7 -b 19200 --parity even read all
  want_code 0
  want_out '^channel: 17 \('
  want_out '^rf-baud: 19200$'
  want_out '^serial: 19200 even$'
  want_out '^id: 04660$'
  report "read all after the writes, at the module's new 19200 even"
}

case_verify_catches() {
  cli -p COM8 write channel 9
  want_code 4
  want_err 'channel'
  report "a write the module ignores fails verification (exit 4)"
}

case_search_found() {
  local before
  before=$(wc -l <"$work/COM12.log")
  cli -p COM12 search --from 9600,none --interval 500
  want_code 0
  want_out '^baud: 19200$'
  want_out '^parity: odd$'
  local tried expected
  tried=$(tail -n +"$((before + 1))" "$work/COM12.log" | sed -En 's/^dropped [0-9]+ bytes: line is (.*), module is .*/\1/p' | tr '\n' ',')
  expected="9600 none,9600 odd,9600 even,19200 none,"
  [ "$tried" = "$expected" ] || why+="the module saw '$tried' before answering, expected '$expected'; "
  report "search finds 19200 odd on the fifth try from 9600 none"
}

case_search_same_setting() {
  # Opens at the setting the line already has, then sets it again: a pty
  # under Wine refuses the same parity twice unless the backend works round it.
  cli -p COM12 search --from 19200,odd --interval 500
  want_code 0
  want_out '^parity: odd$'
  report "search from the line's own setting (19200 odd) finds it at once"
}

case_search_unanswered() {
  local before
  before=$(wc -l <"$work/COM3.log")
  cli -p COM3 search --from 57600,none --interval 500
  want_code 1
  want_err 'no module answered on COM3 at any of the 6 settings'
  local tried
  tried=$(tail -n +"$((before + 1))" "$work/COM3.log" | sed -En 's/^dropped [0-9]+ bytes: line is (.*), module is .*/\1/p' | tr '\n' ',')
  [ "$tried" = "57600 none,57600 odd,57600 even,115200 none,115200 odd,115200 even," ] ||
    why+="the module saw '$tried'; "
  report "unanswered search from 57600 none (module at 4800) exits 1"
}

case_ctrl_c() {
  # Wine turns SIGINT into CTRL_C_EVENT for the console control handler.
  local before
  before=$(traffic COM3)
  timeout -k 5 "$run_limit" wine "$cli" -p COM3 search --from 57600,none --interval 5000 \
    >"$work/out.raw" 2>"$work/err.raw" </dev/null &
  local watchdog=$!
  for _ in $(seq 400); do
    [ "$(traffic COM3)" != "$before" ] && break
    sleep 0.05
  done
  kill -INT "$(pgrep -P "$watchdog")"
  wait "$watchdog"
  code=$?
  tr -d '\r' <"$work/out.raw" >"$work/out"
  tr -d '\r' <"$work/err.raw" >"$work/err"
  want_code 130
  want_err 'search cancelled on COM3 after trying 1 of 6 settings: 57600 none'
  report "Ctrl-C cancels a search (exit 130)"
}

# bad_value MESSAGE ARGS...: refused with exit 2 before anything reaches COM7.
bad_value() {
  local message=$1
  shift
  local before
  before=$(traffic COM7)
  cli -p COM7 "$@"
  want_code 2
  want_err "$message"
  [ "$(traffic COM7)" = "$before" ] || why+="something was sent; "
  report "bad value refused, nothing sent: $*"
}

case_no_port() {
  cli -p COM40 read all
  want_code 3
  want_err 'cannot open COM40: no such (port|device)'
  report "COM40 (not mapped) exits 3, no such device"
}

case_simulate() {
  cli --simulate read all
  want_code 2
  want_err '^corvanta-cli: --simulate needs a pseudo-terminal and is not available on Windows$'
  report "--simulate is a usage error on Windows"
}

case_unplug() {
  # The module hears the request, never answers, and goes away meanwhile.
  timeout -k 5 "$run_limit" wine "$cli" -p COM5 read channel --timeout 50000 >"$work/out.raw" 2>"$work/err.raw" </dev/null &
  local cli_pid=$!
  for _ in $(seq 400); do
    grep -q '^rx ' "$work/COM5.log" && break
    sleep 0.05
  done
  kill "$pid_COM5"
  wait "$cli_pid"
  code=$?
  wait "$pid_COM5"
  local left=() pid
  for pid in "${sim_pids[@]}"; do
    [ "$pid" = "$pid_COM5" ] || left+=("$pid")
  done
  sim_pids=("${left[@]}")
  tr -d '\r' <"$work/out.raw" >"$work/out"
  tr -d '\r' <"$work/err.raw" >"$work/err"
  want_code 3
  want_err 'lost COM5 while waiting for read channel: the device was unplugged or went away'
  report "module gone while waiting for a reply exits 3"
}

note "running cases"
case_ports
case_read_all
case_read_com12
write_case channel 17 'channel: 17 \(verified\)'
write_case rf-baud 19200 'rf-baud: 19200 \(verified\)'
write_case id 4660 'id: 04660 \(verified\)'
case_power_sent
write_case serial 19200 even 'serial: 19200 even \(verified\)'
case_read_after_writes
case_verify_catches
case_search_found
case_search_same_setting
case_search_unanswered
case_ctrl_c
bad_value 'channel must be a whole number from 1 to 32' write channel 33
bad_value 'ID must be a whole number from 0 to 65535' write id 65536
bad_value 'power level must be a whole number from 1 to 7' write power 0
bad_value 'air baud rate must be one of' write rf-baud 1000
bad_value 'parity must be none, odd or even' write serial 9600 mark
bad_value 'baud rate must be one of' -b 1234 read all
case_no_port
case_simulate
case_unplug
note "cases done"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
