#!/usr/bin/env bash
# Checks run_under_wine.sh with a stand-in for Wine that is told, through a
# counter file, how each start goes.
set -u
launcher=$(dirname "$0")/run_under_wine.sh
scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT
failures=0

# The stand-in: start N prints what the Nth word of $PLAN says.
#   silent:C  ends with code C, printing nothing
#   loud:C    prints to both streams, then ends with code C
cat >"$scratch/wine" <<'STANDIN'
#!/usr/bin/env bash
n=$(( $(cat "$COUNTER" 2>/dev/null || echo 0) + 1 ))
echo "$n" >"$COUNTER"
read -ra steps <<<"$PLAN"
step=${steps[n-1]}
if [[ $step == loud:* ]]; then echo "out $n $*"; echo "err $n" >&2; fi
exit "${step#*:}"
STANDIN
chmod +x "$scratch/wine"

# expect PLAN STATUS STARTS STDOUT: runs the launcher and checks its exit
# code, how often it started the stand-in, and its standard output.
expect() {
    local plan=$1 status=$2 starts=$3 stdout=$4
    rm -f "$scratch/counter"
    local got
    got=$(COUNTER=$scratch/counter PLAN=$plan "$launcher" "$scratch/wine" prog.exe --flag \
          2>"$scratch/stderr")
    local rc=$?
    local count
    count=$(cat "$scratch/counter" 2>/dev/null || echo 0)
    if [[ $rc != "$status" || $count != "$starts" || $got != "$stdout" ]]; then
        echo "FAIL plan '$plan': exit $rc (want $status), $count starts (want $starts)," \
             "stdout '$got' (want '$stdout')"
        failures=$((failures + 1))
    fi
}

expect "loud:0" 0 1 "out 1 prog.exe --flag"
# A program that ran and failed is never started again.
expect "loud:1 loud:0" 1 1 "out 1 prog.exe --flag"
# A crash that printed is a failure of its own, not a failed start.
expect "loud:70 loud:0" 70 1 "out 1 prog.exe --flag"
# A silent failure is started once more; the second start decides.
expect "silent:5 loud:0" 0 2 "out 2 prog.exe --flag"
expect "silent:5 loud:3" 3 2 "out 2 prog.exe --flag"
expect "silent:5 silent:6 loud:0" 6 2 ""
grep -q "starting it once more" "$scratch/stderr" ||
    { echo "FAIL: the second start was not reported"; failures=$((failures + 1)); }
# A program that ends well without a word is not started again.
expect "silent:0 loud:0" 0 1 ""
# Standard error stays standard error.
rm -f "$scratch/counter"
COUNTER=$scratch/counter PLAN="loud:0" "$launcher" "$scratch/wine" x.exe >/dev/null \
    2>"$scratch/stderr"
[[ $(cat "$scratch/stderr") == "err 1" ]] ||
    { echo "FAIL: standard error was '$(cat "$scratch/stderr")'"; failures=$((failures + 1)); }

((failures == 0)) && echo "all launcher checks passed"
exit $((failures != 0))
