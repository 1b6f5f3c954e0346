#!/usr/bin/env bash
# The Windows build of velscan under Wine on its own card path: CreateFileA on
# \\.\KT7100 and synchronous DeviceIoControl, through Wine's I/O manager into
# the test driver (card_driver/card_relay_driver.c), which relays every control
# to card_relay_server.exe, the simulated instrument's card on the real clock.
#
#   tests/windows/card_driver_e2e.sh [WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR]]
#
# The driver runs as a demand-start kernel service of this prefix while the
# script runs, and is stopped and deleted on every way out. velscan.exe runs
# with VELSCAN_CARD unset (its default device), the simulated range finder and
# the real clock. The relay's card hears no range finder commands, so the
# runs keep the range finder's default settings.
#
# Checks:
#   scan     -l 2: exit 0; the records velscan.exe captured are byte for byte
#            the ones the relay's card delivered (direct-I/O block reads of
#            80,000 bytes among them); the native program replaying those
#            records gives the same table (line ends aside) and console, and
#            the same card controls in its trace, polls of the buffer aside
#            (how often an empty buffer is read depends on real time).
#   reject   the card rejects the block read: the documented message, exit
#            code 3, no table, and the native program with the simulated card
#            failing the same control says the same.
#   gone     once the service has stopped, the device is gone: the open fails.
# Nothing stays behind: the service is deleted, the relay has ended, the
# working files are removed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
windows_build=$(cd "${1:-$source/build/windows}" && pwd)
native_build=$(cd "${2:-$source/build/default}" && pwd)
velscan_exe="$windows_build/src/velscan.exe"
velscan_native="$native_build/src/velscan"
driver="$windows_build/tests/windows/card_driver/velscan_card_relay.sys"
relay_exe="$windows_build/tests/windows/card_driver/velscan_card_relay_server.exe"
lookup_file="$source/examples/LOOKUPHS"
service=velscan_card_relay_test
seed=20240611
block_read=9c402015

# shellcheck source=tests/windows/wine_prefix.sh
. "$here/wine_prefix.sh"
velscan_wine_setup "$windows_build"

for tool in perl cmp timeout awk; do
    command -v "$tool" >/dev/null || { echo "error: $tool is needed" >&2; exit 1; }
done
for file in "$velscan_exe" "$velscan_native" "$driver" "$relay_exe" "$lookup_file"; do
    [[ -e "$file" ]] || { echo "error: $file is missing" >&2; exit 1; }
done

work=$(mktemp -d "$windows_build/card-driver-e2e.XXXXXX")
relay_pid=
service_created=0
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

sc() { "$TEST_WINE64" sc.exe "$@" </dev/null 2>&1 | tr -d '\r'; }

service_state() { sc query "$service" | sed -n 's/^ *STATE *: *[0-9]* *//p'; }

# Stops the service and waits until it has stopped (the driver's unload ran).
stop_service() {
    sc stop "$service" >/dev/null || true
    local _
    for _ in $(seq 50); do
        [[ "$(service_state)" == STOPPED ]] && return 0
        sleep 0.2
    done
    return 1
}

delete_service() {
    stop_service || echo "warning: the service $service did not stop" >&2
    sc delete "$service" >/dev/null || true
}

stop_relay() {
    [[ -n "$relay_pid" ]] || return 0
    kill "$relay_pid" 2>/dev/null || true
    wait "$relay_pid" 2>/dev/null || true
    relay_pid=
}

cleanup() {
    stop_relay
    if ((service_created)); then delete_service; fi
    rm -rf "$work"
    velscan_wine_stop_server
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The programs get no VELSCAN_ variable of the caller's environment, only
# those a check sets (velscan warns about every VELSCAN_ variable it does
# not know). The test's own helper variables are named TEST_*, so none of
# them, exported later, can reach velscan as one.
program_env=()
for name in $(compgen -e); do
    if [[ $name == VELSCAN_* ]]; then program_env+=(-u "$name"); fi
done
# The runs are compared with the native program's: no live page, no pictures.
program_env+=(VELSCAN_LIVE=off VELSCAN_PICTURES=off)

# start_relay DIR [FAULTS]: the relay's card serves one open of the device;
# its capture goes to DIR/relay.bin.
start_relay() {
    local dir=$1
    shift
    rm -f "$dir/relay.ready"
    (cd "$dir" && exec env "${program_env[@]}" "$TEST_WINE64" "$relay_exe" relay.ready \
        relay.bin "$seed" "$@" >relay.stdout 2>relay.stderr </dev/null) &
    relay_pid=$!
    local _
    for _ in $(seq 100); do
        [[ -e "$dir/relay.ready" ]] && return 0
        kill -0 "$relay_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "error: the relay did not start: $(cat "$dir/relay.stderr")" >&2
    exit 1
}

# The relay ends by itself once velscan.exe has closed the device.
# expect_relay_ended DIR WHAT
expect_relay_ended() {
    local dir=$1 what=$2 _
    for _ in $(seq 100); do
        kill -0 "$relay_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$relay_pid" 2>/dev/null; then
        fail "$what: the relay still runs after velscan.exe closed the device"
        stop_relay
        return
    fi
    local status=0
    wait "$relay_pid" || status=$?
    relay_pid=
    if [[ $status -eq 0 ]]; then
        echo "ok: $what: the relay served the device's whole session and ended"
    else
        fail "$what: the relay ended with $status: $(cat "$dir/relay.stderr" 2>/dev/null)"
    fi
}

# run_windows DIR OPTIONS...: velscan.exe on its default card device.
run_windows() {
    local dir=$1
    shift
    windows_status=0
    (cd "$dir" && timeout 90 env "${program_env[@]}" VELSCAN_LASER=sim \
        VELSCAN_TRACE=windows.trace VELSCAN_CAPTURE=windows.bin \
        "$TEST_WINE64" "$velscan_exe" scan.txt "$@" \
        >stdout.txt 2>stderr.txt </dev/null) || windows_status=$?
}

# The native file with every line feed stored as CR LF equals the Windows one.
same_with_crlf() { perl -pe 's/\n/\r\n/g' "$1" | cmp -s - "$2"; }

# The card lines of a trace, a run of identical block reads counted as one.
card_controls() {
    tr -d '\r' <"$1" | grep '^card ' |
        awk -v read="card control $block_read - ok" '!($0 == read && $0 == previous) { print }
                                                    { previous = $0 }'
}

run_scan() {
    local dir="$work/scan"
    mkdir -p "$dir/native"
    cp "$lookup_file" "$dir/LOOKUPHS"
    cp "$lookup_file" "$dir/native/LOOKUPHS"
    start_relay "$dir"
    run_windows "$dir" -l 2
    expect_relay_ended "$dir" scan
    if [[ $windows_status -eq 0 ]]; then
        echo "ok: scan: velscan.exe -l 2 on the card's device recorded the scan"
    else
        fail "scan: velscan.exe exited with $windows_status: $(cat "$dir/stderr.txt")"
    fi
    # 20 calibration records and two lines of 5,000 records.
    local records=$(($(wc -c <"$dir/relay.bin") / 16))
    if ((records < 10020)); then
        fail "scan: the relay's card delivered only $records records"
    elif cmp -s "$dir/relay.bin" "$dir/windows.bin"; then
        echo "ok: scan: velscan.exe received the $records records the card delivered, byte for byte"
    else
        fail "scan: the records velscan.exe received differ from those the card delivered"
    fi

    local status=0
    (cd "$dir/native" && timeout 120 env "${program_env[@]}" VELSCAN_CARD=replay:../relay.bin \
        VELSCAN_LASER=sim VELSCAN_CLOCK=virtual VELSCAN_TRACE=native.trace \
        "$velscan_native" scan.txt -l 2 >stdout.txt 2>stderr.txt </dev/null) || status=$?
    [[ $status -eq 0 ]] || fail "scan: the native replay exited with $status"

    if [[ ! -s "$dir/scan.txt" || ! -s "$dir/native/scan.txt" ]]; then
        fail "scan: a table is missing"
    elif same_with_crlf "$dir/native/scan.txt" "$dir/scan.txt"; then
        echo "ok: scan: the table equals the native one with CR LF line ends" \
             "($(wc -l <"$dir/scan.txt") lines, $(wc -c <"$dir/scan.txt") bytes)"
    else
        fail "scan: the table differs from the native one beyond its line ends"
    fi
    # velscan.exe runs on a card device with the simulated instrument's lookup
    # file, so it warns of made-up distances before the mirror's run-up; the
    # native replay does not. Apart from that line the streams are the same.
    local warning="Warning: LOOKUPHS is the simulated instrument's lookup file, not this range"
    warning+=" finder's calibration: the distances of this scan will be made up"
    awk -v warning="$warning" '/^Waiting \(20 sec\.\) for mirror to move$/ { print warning } { print }' \
        "$dir/native/stderr.txt" >"$dir/native/stderr-expected.txt"
    same_with_crlf "$dir/native/stdout.txt" "$dir/stdout.txt" ||
        fail "scan: stdout differs from the native run's: $(cat "$dir/stdout.txt")"
    same_with_crlf "$dir/native/stderr-expected.txt" "$dir/stderr.txt" ||
        fail "scan: stderr differs from the native run's with the lookup file's warning: $(cat "$dir/stderr.txt")"

    card_controls "$dir/windows.trace" >"$dir/windows.controls"
    card_controls "$dir/native/native.trace" >"$dir/native.controls"
    local controls
    controls=$(grep -c '^card control' "$dir/windows.controls" || true)
    if ((controls < 40)); then
        fail "scan: the Windows trace holds only $controls card controls"
    elif cmp -s "$dir/windows.controls" "$dir/native.controls"; then
        echo "ok: scan: the $controls card controls of the trace (input bytes and results) equal" \
             "the native run's, polls aside"
    else
        fail "scan: the card controls differ from the native run's:" \
             "$(diff "$dir/native.controls" "$dir/windows.controls" | head -10)"
    fi
}

run_reject() {
    local dir="$work/reject"
    mkdir -p "$dir/native"
    cp "$lookup_file" "$dir/LOOKUPHS"
    cp "$lookup_file" "$dir/native/LOOKUPHS"
    local fault="fail=0x$block_read@1"
    start_relay "$dir" "$fault"
    run_windows "$dir" -l 1
    expect_relay_ended "$dir" reject
    if [[ $windows_status -eq 3 ]]; then
        echo "ok: reject: the card rejected the block read, exit code 3"
    else
        fail "reject: exit code $windows_status, not 3"
    fi
    local expected
    expected=$(mktemp "$work/expected.XXXXXX")
    printf 'Opened high speed interface.\r\nVEAX Card Calibration\r\nError: Could not get calibration value\r\n' \
        >"$expected"
    if cmp -s "$expected" "$dir/stderr.txt"; then
        echo "ok: reject: the documented messages"
    else
        fail "reject: standard error: $(od -An -c "$dir/stderr.txt" | tr -s ' ')"
    fi
    [[ ! -s "$dir/stdout.txt" ]] || fail "reject: standard output: $(cat "$dir/stdout.txt")"
    if tr -d '\r' <"$dir/windows.trace" | grep -qx "card control $block_read - failed"; then
        echo "ok: reject: the trace shows the block read failed"
    else
        fail "reject: the trace holds no failed block read"
    fi
    if compgen -G "$dir/scan.txt*" >/dev/null; then
        fail "reject: an output file was left behind"
    fi

    local status=0
    (cd "$dir/native" && timeout 120 env "${program_env[@]}" VELSCAN_SIM=1 VELSCAN_CLOCK=virtual \
        VELSCAN_SIM_SEED=$seed VELSCAN_SIM_FAULTS="$fault" \
        "$velscan_native" scan.txt -l 1 >stdout.txt 2>stderr.txt </dev/null) || status=$?
    if [[ $status -eq $windows_status ]] && same_with_crlf "$dir/native/stderr.txt" "$dir/stderr.txt"
    then
        echo "ok: reject: the native program with the same rejected control says the same"
    else
        fail "reject: the native program ended with $status and said: $(cat "$dir/native/stderr.txt")"
    fi
}

# With the service stopped, the driver's unload has removed the device.
run_gone() {
    local dir="$work/gone"
    mkdir -p "$dir"
    cp "$lookup_file" "$dir/LOOKUPHS"
    run_windows "$dir" -l 1
    local documented
    documented=$(head -n 2 "$dir/stderr.txt" | tr -d '\r' | paste -sd'|')
    if [[ $windows_status -eq 3 &&
          "$documented" == 'Opened high speed interface.|Error: VexaOpen failed.' ]]; then
        echo "ok: gone: after the service stopped the device cannot be opened" \
             "($(tail -n 1 "$dir/stderr.txt" | tr -d '\r'))"
    else
        fail "gone: exit code $windows_status, standard error: $(cat "$dir/stderr.txt")"
    fi
}

velscan_wine_prepare_prefix
velscan_wine_start_server "$TEST_WINE_LOGS/wineserver-card-driver.log"
# The services a fresh server starts inherit the first Wine command's output:
# that goes to a file, so no pipe of this script is held open by them.
"$TEST_WINE64" sc.exe query "$service" >"$work/first.log" 2>&1 </dev/null || true

# A service of this name left by a run that was killed goes first.
if sc query "$service" | grep -q '^SERVICE_NAME'; then
    echo "removing the service $service a killed run left behind"
    delete_service
fi
sc create "$service" type= kernel start= demand binPath= "Z:${driver//\//\\}" >"$work/create.log"
service_created=1
sc start "$service" >"$work/start.log" || true
if [[ "$(service_state)" != RUNNING ]]; then
    echo "error: the driver's service did not start: $(cat "$work/create.log" "$work/start.log")" >&2
    exit 1
fi
echo "ok: the driver's service $service runs"

run_scan
run_reject

if stop_service; then
    echo "ok: the driver's service stopped"
    run_gone
else
    fail "the driver's service did not stop"
fi
sc delete "$service" >/dev/null || true
if sc query "$service" | grep -q '^SERVICE_NAME'; then
    fail "the service $service is still registered"
else
    echo "ok: the service is deleted"
    service_created=0
fi

if ((failures)); then
    echo "card driver end-to-end: $failures check(s) failed" >&2
    exit 1
fi
echo "card driver end-to-end: all checks passed"
