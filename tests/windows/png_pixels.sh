#!/usr/bin/env bash
# The Windows velscan-export under Wine writes the same pictures as the
# native one: a table from the native velscan (simulated instrument, virtual
# clock) goes through both programs with --png and --amplitude-png, and
# Pillow decodes the four files and compares their pixels.
#
#   tests/windows/png_pixels.sh [WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR]]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
windows_build=$(cd "${1:-$source/build/windows}" && pwd)
native_build=$(cd "${2:-$source/build/default}" && pwd)
export_exe=$(find "$windows_build/src" -name velscan-export.exe -type f | head -1)
export_native=$(find "$native_build/src" -name velscan-export -type f | head -1)
velscan_native="$native_build/src/velscan"
python=/usr/bin/python3

# shellcheck source=tests/windows/wine_prefix.sh
. "$here/wine_prefix.sh"
velscan_wine_setup "$windows_build"
for file in "$export_exe" "$export_native" "$velscan_native" "$python"; do
    [[ -n "$file" && -x "$file" ]] || { echo "error: ${file:-velscan-export} is missing" >&2; exit 1; }
done
"$python" -c 'import PIL' || { echo "error: $python has no Pillow" >&2; exit 1; }

velscan_wine_script_server "$TEST_WINE_LOGS/wineserver.log"

velscan_native_table "$windows_build/png-pixels" "$source" "$velscan_native" 10

status=0
"$TEST_WINE64" "$export_exe" scan.txt --png windows.png --amplitude-png windows_amp.png \
    </dev/null >windows.log 2>&1 || status=$?
if [[ $status != 0 ]]; then
    echo "error: the Windows velscan-export ended with $status:" >&2
    cat windows.log >&2
    exit 1
fi
"$export_native" scan.txt --png linux.png --amplitude-png linux_amp.png </dev/null >linux.log 2>&1 || {
    echo "error: the native velscan-export failed:" >&2
    cat linux.log >&2
    exit 1
}
# Both print the same summary (the Windows one with CR LF line ends).
tr -d '\r' <windows.log | cmp -s - linux.log || {
    echo "error: the two programs printed different summaries:" >&2
    diff <(tr -d '\r' <windows.log) linux.log >&2 || true
    exit 1
}
"$python" "$here/same_pixels.py" linux.png windows.png linux_amp.png windows_amp.png
echo "the Windows velscan-export's pictures have the native one's pixels"
