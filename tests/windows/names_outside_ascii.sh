#!/usr/bin/env bash
# The Windows programs under Wine with names of letters outside ASCII, typed
# in a UTF-8 shell: the programs kept in a folder "Jürgen", velscan.exe
# recording "März.txt" with the capture "Café.bin", velscan-reconvert.exe
# converting that capture into "Café.txt", velscan-export.exe writing
# "Café.png" and "Café.html" beside it (names made from the table's) and
# "März.ply". Each file on disk has the UTF-8 name typed, the console shows
# the name as typed, and the metadata holds it as UTF-8 with the SHA-256 of
# the file as it stands on disk (CR LF line ends). Then the requests for help
# and for the version: they print and end, and create no file.
#
#   tests/windows/names_outside_ascii.sh [WINDOWS_BUILD_DIR]
set -euo pipefail
export LC_ALL=C.UTF-8

here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
windows_build=$(cd "${1:-$source/build/windows}" && pwd)

# shellcheck source=tests/windows/wine_prefix.sh
. "$here/wine_prefix.sh"
velscan_wine_setup "$windows_build"

work=$(mktemp -d "$windows_build/names-outside-ascii.XXXXXX")
failures=0
cleanup() {
    rm -rf "$work"
    velscan_wine_stop_server
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

folder="$work/Jürgen"
mkdir "$folder"
for program in velscan velscan-reconvert velscan-export; do
    built=$(find "$windows_build/src" -name "$program.exe" -type f | head -n 1)
    [[ -n "$built" ]] || { echo "error: $program.exe is not built" >&2; exit 1; }
    cp "$built" "$folder/"
done
cp "$source/examples/LOOKUPHS" "$folder/"

velscan_wine_prepare_prefix
velscan_wine_start_server "$TEST_WINE_LOGS/wineserver-names.log"

# No VELSCAN_ variable of the caller's environment reaches the programs.
program_env=()
for name in $(compgen -e); do
    if [[ $name == VELSCAN_* ]]; then program_env+=(-u "$name"); fi
done

# run NAME PROGRAM ARGUMENTS...: in the folder, output in NAME.out / NAME.err.
run() {
    local name=$1 program=$2
    shift 2
    status=0
    (cd "$folder" && timeout 120 env "${program_env[@]}" VELSCAN_SIM=1 VELSCAN_CLOCK=virtual \
        "$@" >"$work/$name.out" 2>"$work/$name.err" </dev/null) || status=$?
    [[ $status -eq 0 ]] || fail "$name: $program exited with $status: $(cat "$work/$name.err")"
}

# json FILE EXPRESSION: the value of a Python expression over the document d.
json() {
    python3 -c 'import json, sys; d = json.load(open(sys.argv[1], encoding="utf-8")); print(eval(sys.argv[2]))' \
        "$1" "$2"
}

# same_digest FILE METADATA KEY: the SHA-256 the metadata holds under KEY
# ("table", "capture") is the one of FILE's bytes on disk.
same_digest() {
    local recorded actual
    recorded=$(json "$2" "d[\"$3\"][\"sha256\"]")
    actual=$(sha256sum "$1" | cut -d ' ' -f 1)
    if [[ "$recorded" == "$actual" ]]; then
        echo "ok: $(basename "$2") holds the SHA-256 of $(basename "$1") as it stands on disk"
    else
        fail "$2: $3.sha256 is $recorded, $(basename "$1") hashes to $actual"
    fi
}

# The files of the folder, one per line, sorted, as the file system holds them.
listing() { (cd "$folder" && find . -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort); }

run velscan velscan.exe VELSCAN_CAPTURE=Café.bin "$TEST_WINE64" ./velscan.exe März.txt -l 1
if [[ -f "$folder/März.txt" && -f "$folder/März.txt.json" && -f "$folder/Café.bin.json" ]]; then
    echo "ok: velscan.exe wrote März.txt, its metadata and Café.bin's, under their UTF-8 names"
else
    fail "velscan.exe: the folder holds: $(listing | tr '\n' ' ')"
fi
if [[ "$(tail -n 1 "$work/velscan.err" | tr -d '\r')" == "Saved 1 line to März.txt" ]]; then
    echo "ok: velscan.exe showed the name as typed"
else
    fail "velscan.exe: standard error: $(od -An -c "$work/velscan.err" | tail -n 3 | tr -s ' ')"
fi
if [[ -f "$folder/März.txt.json" ]]; then
    facts=$(json "$folder/März.txt.json" \
        'd["settings"]["outputFile"], d["table"]["name"], d["capture"]["name"], d["commandLine"][0].endswith("\\Jürgen\\velscan.exe")')
    if [[ "$facts" == "('März.txt', 'März.txt', 'Café.bin', True)" ]]; then
        echo "ok: the metadata names März.txt, Café.bin and the program in Jürgen in UTF-8"
    else
        fail "the metadata holds $facts"
    fi
    # The table went out with CR LF line ends; its digest is of those bytes.
    if grep -q $'\r$' "$folder/März.txt"; then
        echo "ok: the table's lines end in CR LF"
    else
        fail "März.txt has lines without CR LF"
    fi
    same_digest "$folder/März.txt" "$folder/März.txt.json" table
    same_digest "$folder/Café.bin" "$folder/März.txt.json" capture
    same_digest "$folder/Café.bin" "$folder/Café.bin.json" capture
fi

run reconvert velscan-reconvert.exe "$TEST_WINE64" ./velscan-reconvert.exe Café.bin Café.txt
if [[ -f "$folder/Café.txt" ]] && cmp -s "$folder/März.txt" "$folder/Café.txt" &&
   [[ "$(json "$folder/Café.txt.json" 'd["table"]["name"], d["reconverted"]["from"]["capture"]')" == "('Café.txt', 'Café.bin')" ]]; then
    echo "ok: velscan-reconvert.exe read Café.bin and wrote Café.txt, the recorded table, named in UTF-8"
    same_digest "$folder/Café.txt" "$folder/Café.txt.json" table
else
    fail "velscan-reconvert.exe: the folder holds: $(listing | tr '\n' ' ')"
fi

# No output named: the picture and the viewer take the table's name.
run export-defaults velscan-export.exe "$TEST_WINE64" ./velscan-export.exe Café.txt
if [[ "$(head -c 8 "$folder/Café.png" 2>/dev/null | od -An -tx1 | tr -d ' \n')" == 89504e470d0a1a0a &&
      -s "$folder/Café.html" ]]; then
    echo "ok: velscan-export.exe read Café.txt and wrote Café.png and Café.html beside it"
else
    fail "velscan-export.exe Café.txt: the folder holds: $(listing | tr '\n' ' ')"
fi

run export velscan-export.exe "$TEST_WINE64" ./velscan-export.exe März.txt --ply März.ply
if [[ -s "$folder/März.ply" ]]; then
    echo "ok: velscan-export.exe read März.txt and wrote März.ply"
else
    fail "velscan-export.exe: the folder holds: $(listing | tr '\n' ' ')"
fi

expected_files=$(printf '%s\n' Café.bin Café.bin.json Café.html Café.png Café.txt Café.txt.json \
    LOOKUPHS März.ply März.txt März.txt.json velscan-export.exe velscan-reconvert.exe velscan.exe | LC_ALL=C sort)
if [[ "$(listing)" == "$expected_files" ]]; then
    echo "ok: no other file, and no name written in another code page"
else
    fail "the folder holds: $(listing | tr '\n' ' ')"
fi

# A request for help or the version prints and ends; no file of that name.
for request in -h '-?' '/?' --help --version; do
    run "request" velscan.exe "$TEST_WINE64" ./velscan.exe "$request" -l 1
    first=$(head -n 1 "$work/request.out" | tr -d '\r')
    case "$request" in
        --version) [[ "$first" =~ ^velscan\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$request printed '$first'" ;;
        *) [[ "$first" == "usage: velscan <Laserfile><options>" ]] || fail "$request printed '$first'" ;;
    esac
done
if [[ "$(listing)" == "$expected_files" ]]; then
    echo "ok: -h, -?, /?, --help and --version printed and created no file"
else
    fail "after the requests the folder holds: $(listing | tr '\n' ' ')"
fi
for program in velscan-export velscan-reconvert; do
    run "$program-version" "$program.exe" "$TEST_WINE64" "./$program.exe" --version
    first=$(head -n 1 "$work/$program-version.out" | tr -d '\r')
    [[ "$first" =~ ^$program\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$program.exe --version printed '$first'"
done

if ((failures)); then
    echo "names outside ASCII: $failures check(s) failed" >&2
    exit 1
fi
echo "names outside ASCII: all checks passed"
