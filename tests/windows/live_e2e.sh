#!/usr/bin/env bash
# The Windows velscan under Wine with the live view and the pictures on: a
# simulated scan in virtual time starts velscan-live.exe beside it, which
# leaves the live page (scan.txt.live.html with its data script
# scan.txt.live.js, saying the scan is complete with every line) and the
# finished table's range picture and viewer (scan.txt.png, scan.txt.html);
# velscan says where the page is before the mirror's run-up, and the picture
# has the pixels of the native velscan-export's picture of the same table
# (Pillow).
#
#   tests/windows/live_e2e.sh [WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR]]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
windows_build=$(cd "${1:-$source/build/windows}" && pwd)
native_build=$(cd "${2:-$source/build/default}" && pwd)
velscan_exe="$windows_build/src/velscan.exe"
live_exe="$windows_build/src/velscan-live.exe"
export_native=$(find "$native_build/src" -name velscan-export -type f | head -1)
python=/usr/bin/python3
lines=5

# shellcheck source=tests/windows/wine_prefix.sh
. "$here/wine_prefix.sh"
velscan_wine_setup "$windows_build"
for file in "$velscan_exe" "$live_exe" "$export_native" "$python"; do
    [[ -n "$file" && -e "$file" ]] || { echo "error: ${file:-velscan-export} is missing" >&2; exit 1; }
done
"$python" -c 'import PIL' || { echo "error: $python has no Pillow" >&2; exit 1; }

velscan_wine_script_server "$TEST_WINE_LOGS/wineserver.log"

work="$windows_build/live-e2e"
rm -rf "$work"
mkdir -p "$work"
cp "$source/examples/LOOKUPHS" "$work/"
cd "$work"
status=0
env -u VELSCAN_LASER -u VELSCAN_CARD -u VELSCAN_SIM_FAULTS -u VELSCAN_TRACE \
    VELSCAN_SIM=1 VELSCAN_CLOCK=virtual VELSCAN_CAPTURE=scan.txt.capture VELSCAN_LIVE=on VELSCAN_PICTURES=on \
    "$TEST_WINE64" "$velscan_exe" scan.txt -l "$lines" </dev/null >velscan.out 2>velscan.err || status=$?
tr -d '\r' <velscan.err >velscan.log
if [[ $status != 0 ]]; then
    echo "error: the Windows velscan ended with $status:" >&2
    cat velscan.log >&2
    exit 1
fi
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# The page's full path, as Windows names it, the line before the run-up's.
grep -B1 -x 'Waiting (20 sec.) for mirror to move' velscan.log | head -1 |
    grep -qE '^Live view: [A-Z]:\\.*\\live-e2e\\scan\.txt\.live\.html$' ||
    fail "velscan did not say where the live page is before the run-up"
[[ $(tail -1 velscan.log) == "Saved $lines lines to scan.txt" ]] || fail "the last line is not the saved table's"
for file in scan.txt.live.html scan.txt.live.js scan.txt.live.png scan.txt.png scan.txt.html; do
    [[ -s $file ]] || fail "$file was not written"
done
"$python" - "$lines" <<'PYTHON' || fail "the live page's data script does not say the scan is complete"
import json, sys
text = open("scan.txt.live.js", encoding="ascii").read()
state = json.loads(text[len("velscanLive("):-len(");\n")])
lines = int(sys.argv[1])
assert state["state"] == "complete" and state["linesDone"] == lines and state["linesAsked"] == lines, state
assert state["picture"] == "scan.txt.png" and state["finishedViewer"] == "scan.txt.html", state
PYTHON
"$export_native" scan.txt --png native.png </dev/null >native.log 2>&1 || fail "the native velscan-export failed"
"$python" "$here/same_pixels.py" native.png scan.txt.png || fail "scan.txt.png differs from velscan-export's"
if ((failures)); then
    echo "velscan's standard error:" >&2
    cat velscan.log >&2
    exit 1
fi
echo "the Windows velscan's live page, picture and viewer are in place, the picture velscan-export's"
