# shellcheck shell=bash
# Wine set-up for running the Windows build's programs: sourced by .ci/run and
# by the scripts under tests/windows (bash).
#
# The prefix lives in the Windows build tree. Its COM1 is routed through the
# registry to a fixed path in that tree, where the serial test puts one end of
# a pseudo-terminal pair. Nothing may ever open a real serial device (on many
# machines the first one is the kernel console), yet Wine maps every serial
# device it finds (ttyS, ttyUSB, ttyACM, never to be opened) to a COM port of
# its own. So every such mapping is removed before a program runs, and COM1 is
# checked to be the pseudo-terminal first.

# velscan_wine_setup WINDOWS_BUILD_DIR
# Exports WINEPREFIX, WINEDEBUG, TEST_WINE64 (Wine's 64-bit loader, the
# emulator the build was configured with), TEST_WINESERVER, TEST_WINE_COM1
# (where COM1 leads) and TEST_WINE_LOGS.
velscan_wine_setup() {
    local build
    build=$(cd "$1" && pwd)
    export WINEPREFIX="$build/wineprefix"
    export WINEDEBUG=-all
    export TEST_WINE_COM1="$build/serial/com1"
    export TEST_WINE_LOGS="$build/wine-logs"
    mkdir -p "$build/serial" "$TEST_WINE_LOGS"

    TEST_WINE64=
    if [[ -f "$build/CMakeCache.txt" ]]; then
        TEST_WINE64=$(sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p' "$build/CMakeCache.txt")
    fi
    if [[ -z "$TEST_WINE64" ]]; then
        local candidate
        for candidate in "$(command -v wine64 || true)" /usr/lib/wine/wine64 /usr/lib64/wine/wine64 \
                         /usr/lib/x86_64-linux-gnu/wine/wine64; do
            if [[ -n "$candidate" && -x "$candidate" ]]; then
                TEST_WINE64=$candidate
                break
            fi
        done
    fi
    if [[ -z "$TEST_WINE64" || ! -x "$TEST_WINE64" ]]; then
        echo "error: Wine's 64-bit loader (wine64) was not found" >&2
        return 1
    fi
    export TEST_WINE64
    TEST_WINESERVER=$(command -v wineserver || echo "$(dirname "$TEST_WINE64")/wineserver")
    export TEST_WINESERVER
}

# Creates the prefix unless it exists, and routes COM1 to TEST_WINE_COM1.
# Wine reads the route when its server starts, so a changed route stops the
# running server; the next Wine program starts one that applies it.
velscan_wine_prepare_prefix() {
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        echo "creating the Wine prefix $WINEPREFIX"
        "$TEST_WINE64" wineboot.exe -i >"$TEST_WINE_LOGS/wineboot.log" 2>&1
        "$TEST_WINESERVER" -w
    fi
    local current
    current=$({ "$TEST_WINE64" reg.exe query 'HKLM\Software\Wine\Ports' /v COM1 2>/dev/null ||
                true; } | sed -n 's/^ *COM1 *REG_SZ *//p' | tr -d '\r')
    if [[ "$current" != "$TEST_WINE_COM1" ]]; then
        echo "routing Wine's COM1 to $TEST_WINE_COM1"
        "$TEST_WINE64" reg.exe add 'HKLM\Software\Wine\Ports' /v COM1 /d "$TEST_WINE_COM1" /f \
            >/dev/null
        "$TEST_WINESERVER" -k || true
        "$TEST_WINESERVER" -w || true
    fi
}

# True when PATH leads to a real serial device (or Wine's default for COM1).
velscan_is_real_serial_device() {
    local target
    target=$(readlink -f -- "$1" 2>/dev/null || true)
    case "$target" in
        /dev/ttyS* | /dev/ttyUSB* | /dev/ttyACM* | /dev/ttyAMA* | /dev/rfcomm*) return 0 ;;
    esac
    return 1
}

# Makes sure Wine's device map is current (a Wine program starts the server,
# which maps the ports), removes every COM port that leads to a real serial
# device, and checks that COM1 leads to TEST_WINE_COM1. With an argument,
# COM1 must also resolve to that device (the pseudo-terminal's name).
# Returns non-zero, saying why, when COM1 is not safe to open.
velscan_wine_guard_ports() {
    local expected_device=${1:-}
    "$TEST_WINE64" reg.exe query 'HKLM\Software\Wine\Ports' /v COM1 >/dev/null 2>&1 || {
        echo "error: COM1 is not routed in the Wine registry" >&2
        return 1
    }
    local port
    for port in "$WINEPREFIX"/dosdevices/com*; do
        [[ -L "$port" ]] || continue
        if velscan_is_real_serial_device "$port"; then
            echo "removing Wine's $(basename "$port") -> $(readlink "$port"): a real serial device"
            rm -f -- "$port"
        fi
    done
    for port in "$WINEPREFIX"/dosdevices/com*; do
        if velscan_is_real_serial_device "$port"; then
            echo "error: $port still leads to a real serial device" >&2
            return 1
        fi
    done
    local com1="$WINEPREFIX/dosdevices/com1"
    local link
    link=$(readlink -- "$com1" 2>/dev/null || true)
    if [[ "$link" != "$TEST_WINE_COM1" ]]; then
        echo "error: Wine's COM1 leads to '${link:-nothing}', not to $TEST_WINE_COM1" >&2
        return 1
    fi
    if [[ -n "$expected_device" ]]; then
        local resolved
        resolved=$(readlink -f -- "$com1" 2>/dev/null || true)
        if [[ "$resolved" != "$expected_device" || "$resolved" != /dev/pts/* ]]; then
            echo "error: Wine's COM1 resolves to '${resolved:-nothing}', not to the" \
                 "pseudo-terminal $expected_device" >&2
            return 1
        fi
    fi
}

# Starts a persistent Wine server for the prefix (output to LOG), so the Wine
# programs that follow share one server and one device map; exports its pid as
# TEST_WINESERVER_PID. A persistent server named by TEST_WINESERVER_PID
# already (started by .ci/run) is used as it is. A server that a Wine program
# left behind ends within seconds of its last client, so the start is retried
# until it succeeds.
velscan_wine_start_server() {
    local log=$1
    TEST_WINESERVER_OWNED=0
    if [[ -n "${TEST_WINESERVER_PID:-}" ]] && kill -0 "$TEST_WINESERVER_PID" 2>/dev/null; then
        echo "using the persistent Wine server $TEST_WINESERVER_PID"
        return 0
    fi
    local _ pid
    for _ in $(seq 30); do
        "$TEST_WINESERVER" -f -p >>"$log" 2>&1 &
        pid=$!
        sleep 0.3
        if kill -0 "$pid" 2>/dev/null; then
            export TEST_WINESERVER_PID=$pid
            TEST_WINESERVER_OWNED=1
            echo "started a persistent Wine server (pid $pid, log $log)"
            return 0
        fi
        wait "$pid" 2>/dev/null || true  # another server holds the prefix
    done
    echo "error: another Wine server keeps running for $WINEPREFIX" >&2
    return 1
}

# Stops the server velscan_wine_start_server started, if it started one.
velscan_wine_stop_server() {
    if [[ "${TEST_WINESERVER_OWNED:-0}" == 1 ]]; then
        "$TEST_WINESERVER" -k 2>/dev/null || true
        wait "$TEST_WINESERVER_PID" 2>/dev/null || true
        TEST_WINESERVER_OWNED=0
        unset TEST_WINESERVER_PID
    fi
}

# What a script of its own does before its first Wine program: the prefix
# prepared, and a persistent server (the one .ci/run started, or its own,
# logged to LOG) that is stopped on every way out of the script.
velscan_wine_script_server() {
    local log=$1
    velscan_wine_prepare_prefix
    trap velscan_wine_stop_server EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    velscan_wine_start_server "$log"
}

# velscan_native_table WORK SOURCE VELSCAN LINES
# Makes the folder WORK afresh and goes into it, then records scan.txt of
# LINES lines there with the native velscan (the simulated instrument in
# virtual time, the example lookup file of the SOURCE tree), for the scripts
# that compare the Windows velscan-export with the native one; exits with
# velscan's log when it fails.
velscan_native_table() {
    local work=$1 source=$2 velscan=$3 lines=$4
    rm -rf "$work"
    mkdir -p "$work"
    cp "$source/examples/LOOKUPHS" "$work/"
    cd "$work" || exit 1
    env -u VELSCAN_LASER -u VELSCAN_CARD -u VELSCAN_SIM_FAULTS -u VELSCAN_CAPTURE \
        VELSCAN_SIM=1 VELSCAN_CLOCK=virtual "$velscan" scan.txt -l "$lines" </dev/null >velscan.log 2>&1 || {
        echo "error: the native velscan did not write the table:" >&2
        cat velscan.log >&2
        exit 1
    }
}
