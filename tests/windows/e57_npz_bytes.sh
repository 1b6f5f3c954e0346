#!/usr/bin/env bash
# The Windows velscan-export under Wine writes the same E57 and npz files,
# byte for byte, as the native one: a table from the native velscan
# (simulated instrument, virtual clock) with its metadata file goes through
# both programs with --e57 and --npz, with and without --metres, and the
# files are compared.
#
#   tests/windows/e57_npz_bytes.sh [WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR]]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
windows_build=$(cd "${1:-$source/build/windows}" && pwd)
native_build=$(cd "${2:-$source/build/default}" && pwd)
export_exe=$(find "$windows_build/src" -name velscan-export.exe -type f | head -1)
export_native=$(find "$native_build/src" -name velscan-export -type f | head -1)
velscan_native="$native_build/src/velscan"
for file in "$export_exe" "$export_native" "$velscan_native"; do
    [[ -n "$file" && -x "$file" ]] || { echo "error: ${file:-velscan-export} is missing" >&2; exit 1; }
done

# shellcheck source=tests/windows/wine_prefix.sh
. "$here/wine_prefix.sh"
velscan_wine_setup "$windows_build"
velscan_wine_script_server "$TEST_WINE_LOGS/wineserver.log"

velscan_native_table "$windows_build/e57-npz-bytes" "$source" "$velscan_native" 10

for units in inches metres; do
    options=()
    [[ $units == metres ]] && options=(--metres)
    status=0
    "$TEST_WINE64" "$export_exe" scan.txt --e57 "windows-$units.e57" --npz "windows-$units.npz" "${options[@]}" \
        </dev/null >"windows-$units.log" 2>&1 || status=$?
    if [[ $status != 0 ]]; then
        echo "error: the Windows velscan-export ended with $status:" >&2
        cat "windows-$units.log" >&2
        exit 1
    fi
    "$export_native" scan.txt --e57 "linux-$units.e57" --npz "linux-$units.npz" "${options[@]}" \
        </dev/null >"linux-$units.log" 2>&1 || {
        echo "error: the native velscan-export failed:" >&2
        cat "linux-$units.log" >&2
        exit 1
    }
    for format in e57 npz; do
        cmp "linux-$units.$format" "windows-$units.$format" || {
            echo "error: the Windows velscan-export's $format ($units) differs from the native one's" >&2
            exit 1
        }
    done
    echo "the Windows velscan-export's E57 and npz ($units) are the native one's, byte for byte" \
         "($(stat -c %s "linux-$units.e57") and $(stat -c %s "linux-$units.npz") bytes)"
done
