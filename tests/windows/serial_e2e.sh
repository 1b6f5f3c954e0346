#!/usr/bin/env bash
# The Windows build of velscan under Wine, with the real Win32 serial link on
# COM1 and Wine's COM1 routed to a pseudo-terminal pair made with socat. The
# other end of the pair plays the range finder: it records every byte.
#
#   tests/windows/serial_e2e.sh [WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR]]
#
# Checks, for each option set: exactly the range finder commands on the line,
# the port's settings (9600 baud, 8N1, no flow control), DTR raised after the
# settings and lowered after the last command (read from the run's trace of
# every serial call, VELSCAN_TRACE: a pseudo-terminal has no modem lines to
# look at), and a table equal to the native build's for the
# same seed and options apart from its CR LF line ends. Also checks that
# without a card driver the run ends cleanly at the card's open. No real
# serial device is ever opened: before each run Wine's COM1 must resolve to
# the pseudo-terminal, or the script stops.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
windows_build=$(cd "${1:-$source/build/windows}" && pwd)
native_build=$(cd "${2:-$source/build/default}" && pwd)
velscan_exe="$windows_build/src/velscan.exe"
velscan_native="$native_build/src/velscan"
lookup_file="$source/examples/LOOKUPHS"
seed=20240611

# shellcheck source=tests/windows/wine_prefix.sh
. "$here/wine_prefix.sh"
velscan_wine_setup "$windows_build"

for tool in socat stty perl cmp timeout; do
    command -v "$tool" >/dev/null || { echo "error: $tool is needed" >&2; exit 1; }
done
for file in "$velscan_exe" "$velscan_native" "$lookup_file"; do
    [[ -e "$file" ]] || { echo "error: $file is missing" >&2; exit 1; }
done
# The runs name no port; the Windows program takes COM1, the only routed one.
unset VELSCAN_LASER VELSCAN_SIM VELSCAN_CARD VELSCAN_CLOCK VELSCAN_SIM_SCENE VELSCAN_SIM_FAULTS \
      VELSCAN_SIM_SEED VELSCAN_CAPTURE

work="$windows_build/serial-e2e"
rm -rf "$work"
mkdir -p "$work"
range_finder="$work/range_finder"  # the pair's other end

socat_pid=
reader_pid=
holder_open=0
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

stop_pair() {
    if ((holder_open)); then
        exec 7<&-
        holder_open=0
    fi
    local pid
    for pid in "$socat_pid" "$reader_pid"; do
        [[ -n "$pid" ]] || continue
        # The pair ends by itself once its last user has gone; give it a moment.
        for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    socat_pid=
    reader_pid=
}
cleanup() {
    stop_pair
    velscan_wine_stop_server
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Starts the pseudo-terminal pair, a reader that records what reaches the
# range finder's end into $1, and a holder that keeps Wine's end open, so the
# pair outlives velscan's close and its settings can be read afterwards.
start_pair() {
    local record=$1
    rm -f "$TEST_WINE_COM1" "$range_finder"
    socat -d -d "pty,raw,echo=0,link=$TEST_WINE_COM1" "pty,raw,echo=0,link=$range_finder" \
        2>>"$work/socat.log" &
    socat_pid=$!
    for _ in $(seq 50); do
        [[ -e "$TEST_WINE_COM1" && -e "$range_finder" ]] && break
        sleep 0.1
    done
    [[ -e "$TEST_WINE_COM1" && -e "$range_finder" ]] || {
        echo "error: socat did not make the pseudo-terminal pair" >&2
        exit 1
    }
    # Plain pseudo-terminals only.
    local device
    for device in "$TEST_WINE_COM1" "$range_finder"; do
        [[ $(readlink -f "$device") == /dev/pts/* ]] || {
            echo "error: $device is not a pseudo-terminal" >&2
            exit 1
        }
    done
    timeout 120 cat "$range_finder" >"$record" 2>>"$work/reader.log" &
    reader_pid=$!
    exec 7<>"$TEST_WINE_COM1"
    holder_open=1
    # A speed velscan must change: 9600 afterwards is its doing.
    stty 38400 <&7
    [[ $(stty speed <&7) == 38400 ]] || { echo "error: cannot set the pair's speed" >&2; exit 1; }
}

# guard RUN_DIR: the checks that must pass before anything opens COM1.
guard() {
    local device
    device=$(readlink -f "$TEST_WINE_COM1")
    velscan_wine_guard_ports "$device" || {
        echo "error: refusing to run: Wine's COM1 is not the pseudo-terminal" >&2
        exit 1
    }
    echo "COM1 -> $(readlink "$WINEPREFIX/dosdevices/com1") -> $device"
    # The run traces every serial call into its directory ($1).
    serial_trace=(VELSCAN_TRACE="$1/serial.trace")
    # The programs get no VELSCAN_ variable of the caller's environment, only
    # those a check sets (velscan warns about every VELSCAN_ variable it does
    # not know). The test's own helper variables are named TEST_*, so none of
    # them, exported later, can reach velscan as one.
    program_env=()
    local name
    for name in $(compgen -e); do
        if [[ $name == VELSCAN_* ]]; then program_env+=(-u "$name"); fi
    done
    # The runs are compared with the native program's: no live page, no pictures.
    program_env+=(VELSCAN_LIVE=off VELSCAN_PICTURES=off)
}

# expect_bytes FILE WHAT EXPECTED... (printf escapes; any one of them)
expect_bytes() {
    local file=$1 what=$2
    shift 2
    local expected candidate
    expected=$(mktemp "$work/expected.XXXXXX")
    for candidate in "$@"; do
        printf '%b' "$candidate" >"$expected"
        if cmp -s "$expected" "$file"; then
            echo "ok: $what ($(wc -c <"$file") bytes)"
            return 0
        fi
    done
    fail "$what: expected $(od -An -c "$expected" | tr -s ' '), got $(od -An -c "$file" | tr -s ' ')"
}

# Checks the settings velscan left on Wine's end of the pair, read through the
# holder's descriptor (no new open).
expect_line_settings() {
    local settings
    settings=$(stty -a <&7 | tr '\n' ' ')
    local want
    for want in "speed 9600 baud" "cs8" "-parenb" "-cstopb" "-crtscts" "-ixon" "-ixoff"; do
        [[ " $settings " == *" $want "* || " $settings " == *" $want;"* ]] ||
            fail "$1: port settings lack '$want': $settings"
    done
    echo "ok: $1: ${settings%%;*}, cs8 -parenb -cstopb -crtscts -ixon -ixoff"
}

# expect_serial_trace TRACE WHAT COMMAND...
# The serial calls of the run's trace: the line settings taken once, at 9600
# baud; after them, purges aside, exactly DTR raised, one write per command
# (escaped as the trace writes them), the event mask cleared, DTR lowered and
# the close, with a purge between DTR lowered and the close.
expect_serial_trace() {
    local trace=$1 what=$2
    shift 2
    if [[ ! -s "$trace" ]]; then
        fail "$what: the trace holds nothing"
        return
    fi
    local calls
    calls=$(sed -n 's/^serial //p' "$trace" | tr -d '\r')
    local settings
    settings=$(grep '^line settings' <<<"$calls" || true)
    if [[ "$settings" != 'line settings 9600 8N1 ok' ]]; then
        fail "$what: expected the line settings once, at 9600, got [$(paste -sd'|' <<<"$settings")]"
        return
    fi
    local expected="dtr raised" command
    for command in "$@"; do expected+=$'\n'"write $command"; done
    expected+=$'\n'"event mask 0"$'\n'"dtr lowered"$'\n'"close"
    local after
    after=$(sed -n '/^line settings/,$p' <<<"$calls" | tail -n +2 | grep -v '^purge ' || true)
    if [[ "$after" != "$expected" ]]; then
        fail "$what: after the settings expected [$(paste -sd'|' <<<"$expected")]," \
             "got [$(paste -sd'|' <<<"$after")]"
    elif [[ $(tail -3 <<<"$calls" | paste -sd'|') != 'dtr lowered|purge f|close' ]]; then
        fail "$what: the port was not purged between DTR lowered and the close"
    else
        echo "ok: $what: settings at 9600, then $(paste -sd'|' <<<"$after"), a purge before the close"
    fi
}

# run_recording NAME CLOCK COMPARE OPTIONS...
# Runs velscan.exe with the simulated card on CLOCK (real or virtual time); it
# must send the array `commands` (printf escapes), and the bytes on the line
# must be one of the array `line_bytes`. With COMPARE=table
# the native program records the same scan, and the tables and the console
# output are compared. That holds only where the range finder runs with its
# defaults: the simulated card cannot hear the commands sent on the real port,
# while the native run's simulated range finder obeys them.
run_recording() {
    local name=$1 clock=$2 compare=$3
    shift 3
    local dir="$work/$name"
    mkdir -p "$dir/windows" "$dir/native"
    cp "$lookup_file" "$dir/windows/LOOKUPHS"
    cp "$lookup_file" "$dir/native/LOOKUPHS"

    start_pair "$dir/range_finder.bin"
    guard "$dir"
    local status=0
    (cd "$dir/windows" &&
        VELSCAN_CARD=sim VELSCAN_CLOCK=$clock VELSCAN_SIM_SEED=$seed \
            timeout 300 env "${program_env[@]}" "${serial_trace[@]}" "$TEST_WINE64" \
            "$velscan_exe" scan.txt "$@" \
            >stdout.txt 2>stderr.txt) || status=$?
    sleep 0.5  # what velscan wrote is still on its way through socat
    expect_line_settings "$name"
    stop_pair
    if [[ $status -eq 0 ]]; then
        echo "ok: $name: velscan.exe $* on $clock time recorded the scan"
    else
        fail "$name: velscan.exe exited with $status: $(cat "$dir/windows/stderr.txt")"
    fi
    expect_bytes "$dir/range_finder.bin" "$name: bytes on the line" "${line_bytes[@]}"
    expect_serial_trace "$dir/serial.trace" "$name: serial calls" "${commands[@]}"
    [[ "$compare" == table ]] || return 0

    status=0
    (cd "$dir/native" &&
        VELSCAN_CARD=sim VELSCAN_LASER=sim VELSCAN_CLOCK=$clock VELSCAN_SIM_SEED=$seed \
            timeout 300 env "${program_env[@]}" "$velscan_native" scan.txt "$@" \
            >stdout.txt 2>stderr.txt) || status=$?
    [[ $status -eq 0 ]] || fail "$name: native velscan exited with $status"

    # The Windows table is the native one with every line feed stored as CR LF.
    local table="$dir/windows/scan.txt" native="$dir/native/scan.txt"
    if [[ ! -s "$table" || ! -s "$native" ]]; then
        fail "$name: a table is missing"
    elif perl -pe 's/\n/\r\n/g' "$native" | cmp -s - "$table"; then
        echo "ok: $name: table equals the native one with CR LF line ends" \
             "($(wc -l <"$table") line breaks, $(wc -c <"$table") bytes)"
    else
        fail "$name: the table differs from the native one beyond its line ends"
    fi
    if [[ $(tr -d '\r' <"$table" | wc -c) -ne $(($(wc -c <"$table") - $(wc -l <"$table"))) ]]; then
        fail "$name: not every line break of the table is CR LF"
    fi
    # The console says the same, in text mode too.
    local stream
    for stream in stdout stderr; do
        perl -pe 's/\n/\r\n/g' "$dir/native/$stream.txt" | cmp -s - "$dir/windows/$stream.txt" ||
            fail "$name: $stream differs from the native run's: $(cat "$dir/windows/$stream.txt")"
    done
}

# Without a card driver (Wine has none) the card's device cannot be opened.
run_without_card() {
    local dir="$work/no-card"
    mkdir -p "$dir"
    cp "$lookup_file" "$dir/LOOKUPHS"
    start_pair "$dir/range_finder.bin"
    guard "$dir"
    local status=0
    (cd "$dir" && timeout 120 env "${program_env[@]}" "${serial_trace[@]}" "$TEST_WINE64" \
        "$velscan_exe" scan.txt \
        -l 1 >stdout.txt 2>stderr.txt) || status=$?
    sleep 0.5
    expect_line_settings no-card
    stop_pair
    if [[ $status -eq 3 ]]; then
        echo "ok: no-card: exit code 3"
    else
        fail "no-card: exit code $status, not 3"
    fi
    # The documented lines, then one line with the system's reason for the
    # failed open (its wording is the system's own).
    head -n 2 "$dir/stderr.txt" >"$dir/stderr_documented.txt"
    expect_bytes "$dir/stderr_documented.txt" "no-card: messages" \
        'Opened high speed interface.\r\nError: VexaOpen failed.\r\n'
    local cause
    cause=$(tail -n +3 "$dir/stderr.txt")
    if [[ $cause == 'Cause: \\.\KT7100: '?*$'\r' && $cause != *$'\n'* ]]; then
        echo "ok: no-card: the cause follows ($cause)"
    else
        fail "no-card: expected one line 'Cause: \\.\KT7100: ...' after the messages, got: $cause"
    fi
    expect_bytes "$dir/stdout.txt" "no-card: nothing on standard output" ''
    expect_bytes "$dir/range_finder.bin" "no-card: only the greeting on the line" 'I'
    expect_serial_trace "$dir/serial.trace" "no-card: serial calls" 'I'

    if compgen -G "$dir/scan.txt*" >/dev/null; then
        fail "no-card: an output file was left behind: $(ls "$dir")"
    else
        echo "ok: no-card: no output file left behind"
    fi
}

velscan_wine_prepare_prefix
velscan_wine_start_server "$TEST_WINE_LOGS/wineserver-serial-e2e.log"

# Real time: the program's pauses give the pair time to carry each command
# before the purge that starts the configuration group.
commands=('I' 'DA1T2X3' 'S20\n' 'F650\n')
line_bytes=('IDA1T2X3S20\nF650\n')
run_recording defaults real bytes -l 2
commands=('I' 'DA1T2X3' 'S40\n' 'F-5\n')
line_bytes=('IDA1T2X3S40\nF-5\n')
run_recording period-and-range real bytes -l 1 -s 40 -r -5
# Virtual time, for a table that can be compared: the 200 ms after "I" pass at
# once, so the purge before "DA1T2X3" may find "I" still in the pair and
# discard it, as a port would discard what it had not sent yet.
commands=('I' 'DA1T2X3' 'S20\n' 'F650\n')
line_bytes=('IDA1T2X3S20\nF650\n' 'DA1T2X3S20\nF650\n')
run_recording same-as-native virtual table -l 2
run_without_card

if ((failures)); then
    echo "serial end-to-end: $failures check(s) failed" >&2
    exit 1
fi
echo "serial end-to-end: all checks passed"
