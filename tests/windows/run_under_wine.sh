#!/usr/bin/env bash
# run_under_wine.sh WINE PROGRAM [ARGUMENTS...]
#
# Runs a Windows test program under Wine's loader WINE, for ctest and test
# discovery. Once in a long while Wine fails to start a program at all: the
# loader exits at once with a non-zero code, and not one byte reached either
# stream (a test program that ran always prints, and a crash prints its
# exception). Such a start, and only such a start, is tried once more, with a
# line on standard error saying so. A program that ran keeps its exit code,
# however it ended.
set -u

if (($# < 2)); then
    echo "usage: run_under_wine.sh WINE PROGRAM [ARGUMENTS...]" >&2
    exit 2
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/run_under_wine.XXXXXX") || exit 2
trap 'rm -rf -- "$scratch"' EXIT

attempt=1
while :; do
    "$@" >"$scratch/out" 2>"$scratch/err"
    status=$?
    cat -- "$scratch/out"
    cat -- "$scratch/err" >&2
    if ((status == 0 || attempt == 2)) || [[ -s "$scratch/out" || -s "$scratch/err" ]]; then
        exit "$status"
    fi
    echo "run_under_wine.sh: Wine ended with $status before the program printed anything;" \
         "starting it once more" >&2
    attempt=2
done
