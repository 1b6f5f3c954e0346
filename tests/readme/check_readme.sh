#!/usr/bin/env bash
# Runs the Linux command blocks of README.md and of the pages under docs/
# exactly as written, in a fresh clone of the committed HEAD, as a new user
# reading them top to bottom would: one shell (bash -e), started in the clone's
# top folder, runs every block of README.md and then of each page in the order
# of the list "pages" below, so a folder changed or a variable exported by one
# block is what the next block finds. A page under docs/ that is not on the
# list fails the check: no page's commands are left out unseen.
#
# Every fenced block of every page must be classified, or the check fails:
#   ```sh                          run here, in that one shell
#   <!-- not run: REASON -->       the next block is not a Linux command to run
#                                  (Windows, JSON, a sample of output, a synopsis)
#   <!-- not run: the first rows of FILE -->
#                                  the next block is a sample of FILE (~/ or
#                                  relative to the top folder), which the blocks
#                                  make: once they have run, its lines must be
#                                  FILE's first lines, tabs and runs of blanks
#                                  counting as one blank
#   <!-- run by .ci/run -->        the next block is run by CI in the checkout;
#                                  each of its commands must appear in .ci/run.
#                                  The check does not run it, but a reader does,
#                                  from the top folder: the shell must be there
#                                  when the blocks before it have run.
#   <!-- run here and by .ci/run -->
#                                  the next block is run here, and each of its
#                                  commands must appear in .ci/run too (the
#                                  README's test commands, which CI runs).
# An indented code block fails the check too: it could hide a command. A
# relative link to a file or heading that does not exist fails it as well.
#
# HOME is a folder of the scratch directory, so an install to ~/.local stays
# there, and no VELSCAN_ variable of the calling shell reaches the blocks.
# Usage: tests/readme/check_readme.sh [--list] [SCRATCH_DIR]   (default build/readme-check)
#   --list  classify the blocks and show those it would run, without running them
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
list_only=0
if [[ "${1:-}" == --list ]]; then list_only=1; shift; fi
scratch=${1:-$repo/build/readme-check}
# The pages whose blocks run, in this order, after README.md.
pages=(docs/operator-guide.md docs/command-line.md docs/files.md docs/simulated-instrument.md
       docs/export.md docs/reconvert.md docs/windows.md docs/architecture.md docs/development.md
       docs/benchmarks.md)
for page in "$repo"/docs/*.md; do
    [[ -e "$page" ]] || continue
    page=docs/${page##*/}
    for listed in "${pages[@]}"; do [[ $page == "$listed" ]] && continue 2; done
    echo "$page: a page the check does not know: add it to the list in $0" >&2
    exit 1
done
for page in "${pages[@]}"; do
    [[ -f "$repo/$page" ]] || { echo "$page: listed in $0, but there is no such page" >&2; exit 1; }
done

if [[ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]]; then
    echo "note: the worktree has uncommitted changes; the check runs the committed HEAD"
fi

# Every relative link of the pages leads to a file and heading that exist.
python3 "$repo/tests/readme/check_links.py" "$repo" README.md "${pages[@]}"

rm -rf -- "$scratch"
mkdir -p "$scratch/blocks" "$scratch/home"

# Splits the pages into classified blocks, numbered in the pages' order:
# blocks/NNN.{run,ci} hold the commands (NNN.run and NNN.ci both for a block
# run here and by CI), blocks/NNN.line the page and line the block starts on.
awk -v out="$scratch/blocks" -v top="$repo/" '
    function fail(message) { print where() ": " message > "/dev/stderr"; failed = 1; exit 1 }
    function where() { name = FILENAME; sub("^" top, "", name); return name ":" FNR }
    FNR == 1 && NR > 1 && fenced { fail("the page before this one ends inside a block") }
    FNR == 1 && NR > 1 && mark != "" { fail("the page before this one ends with a mark not followed by a block") }
    FNR == 1 { previous = "" }
    /^<!-- not run: the first rows of [^ ]+ -->$/ { mark = "skip"; sample = $8; next }
    /^<!-- not run: .+ -->$/ { mark = "skip"; next }
    /^<!-- run by \.ci\/run -->$/ { mark = "ci"; next }
    /^<!-- run here and by \.ci\/run -->$/ { mark = "both"; next }
    !fenced && /^```/ {
        info = substr($0, 4)
        if (mark == "skip") kind = "skip"
        else if (mark == "ci") kind = "ci"
        else if (mark == "both" && info == "sh") kind = "both"
        else if (mark == "both") fail("a block run here must be a ```sh block")
        else if (info == "sh") kind = "run"
        else fail("a ```" info " block without <!-- not run: REASON --> before it")
        fenced = 1; mark = ""; count++
        file = sprintf("%s/%03d", out, count)
        print where() > (file ".line")
        if (sample != "") { print sample > (file ".of"); printf "" > (file ".sample"); kind = "sample" }
        sample = ""
        if (kind == "both") { printf "" > (file ".run"); printf "" > (file ".ci") }
        else if (kind != "skip") printf "" > (file "." kind)
        next
    }
    fenced && /^```$/ { fenced = 0; next }
    fenced && kind == "both" { print > (file ".run"); print > (file ".ci"); next }
    fenced { if (kind != "skip") print > (file "." kind); next }
    # (a sample block is written to NNN.sample, and NNN.of names its file)
    /^(    |\t)/ && previous ~ /^[[:space:]]*$/ { fail("an indented code block: fence it and classify it") }
    /^[[:space:]]*$/ { previous = $0; next }
    { if (mark != "") fail("a <!-- ... --> mark not followed by a block"); previous = $0 }
    END { if (!failed && fenced) { print where() ": a block is not closed" > "/dev/stderr"; exit 1 } }
' "$repo/README.md" "${pages[@]/#/$repo/}"

# A block CI runs in the checkout: each of its commands must be one of .ci/run's.
for block in "$scratch"/blocks/*.ci; do
    [[ -e "$block" ]] || continue
    while IFS= read -r command; do
        command=${command%%#*}
        command=$(sed 's/[[:space:]]*$//' <<<"$command")
        [[ -z "$command" ]] && continue
        grep -qxF -- "$command" <(sed 's/^[[:space:]]*//' "$repo/.ci/run") || {
            echo "$(cat "${block%.ci}.line"): '$command' is marked as run by .ci/run, which does not run it" >&2
            exit 1
        }
    done <"$block"
done

# The blocks to run and to check, in the pages' order (a block both run here
# and by CI counts as run here).
blocks=()
for block in "$scratch"/blocks/*.run "$scratch"/blocks/*.ci; do
    [[ -e "$block" ]] || continue
    [[ $block == *.ci && -e "${block%.ci}.run" ]] && continue
    blocks+=("$block")
done
mapfile -t blocks < <(printf '%s\n' "${blocks[@]}" | sort)

if ((list_only)); then
    for block in "${blocks[@]}"; do
        echo "$(cat "${block%.*}.line") (${block##*.}):"
        sed 's/^/    /' "$block"
    done
    exit 0
fi

# The reader's shell: it sources each block in turn, so that the blocks share
# the working directory and the variables, and an error in a block ends it
# (bash -e). Each block's output goes to a log of its own, progress to
# descriptor 3 and the check's own complaints to descriptor 4; the file
# "current" names the block being run, and "done" once the last has passed.
reader=$scratch/reader.sh
current=$scratch/current
{
    echo '__readme_top=$PWD'
    for block in "${blocks[@]}"; do
        line=$(cat "${block%.*}.line")
        if [[ $block == *.ci ]]; then
            echo 'if [[ $PWD != "$__readme_top" ]]; then'
            printf '    echo "%s: this block is run from the top folder, but the blocks before it leave the shell in $PWD" >&4\n' "$line"
            echo '    exit 1'
            echo 'fi'
            continue
        fi
        printf 'echo %q >%q\n' "${block%.run}" "$current"
        printf 'echo %q >&3\n' "== $line: $(head -n 1 "$block")"
        echo '__readme_started=$SECONDS'
        printf 'exec >%q 2>&1\n' "${block%.run}.log"
        printf 'source %q\n' "$block"
        echo 'echo "   passed in $((SECONDS - __readme_started)) s" >&3'
        printf ': >%q\n' "$current"
    done
    printf 'echo done >%q\n' "$current"
} >"$reader"
grep -q '^source ' "$reader" || { echo "the pages hold no block to run" >&2; exit 1; }

git clone -q --no-checkout "$repo" "$scratch/clone"
git -C "$scratch/clone" checkout -q --detach "$(git -C "$repo" rev-parse HEAD)"

unset "${!VELSCAN_@}"
# A compiler cache the caller uses (CMAKE_CXX_COMPILER_LAUNCHER=ccache) stays
# the same one when HOME moves.
if command -v ccache >/dev/null && [[ -z "${CCACHE_DIR:-}" ]]; then
    CCACHE_DIR=$(ccache --get-config cache_dir)
    export CCACHE_DIR
fi
export HOME=$scratch/home
status=0
(cd "$scratch/clone" && bash -e "$reader" </dev/null 3>&1 4>&2) || status=$?
block=$(cat "$current" 2>/dev/null || true)
if [[ $status -ne 0 || $block != done ]]; then
    if [[ -n "$block" && $block != done ]]; then
        tail -n 40 "$block.log"
        echo "$(cat "$block.line"): the block failed (log: $block.log)" >&2
    fi
    exit 1
fi

# Each sample of a file the blocks made is that file's beginning.
squeeze() { sed 's/[[:space:]]\+/ /g; s/^ //; s/ $//'; }
samples=0
for sample in "$scratch"/blocks/*.sample; do
    [[ -e "$sample" ]] || continue
    line=$(cat "${sample%.sample}.line")
    of=$(cat "${sample%.sample}.of")
    case $of in
    "~/"*) file=$HOME/${of#"~/"} ;;
    /*) file=$of ;;
    *) file=$scratch/clone/$of ;;
    esac
    [[ -f "$file" ]] || { echo "$line: the sample is of $of, which the blocks did not make" >&2; exit 1; }
    rows=$(wc -l <"$sample")
    ((rows > 0)) || { echo "$line: the sample of $of is empty" >&2; exit 1; }
    if ! diff <(squeeze <"$sample") <(head -n "$rows" "$file" | squeeze) >"${sample%.sample}.diff"; then
        cat "${sample%.sample}.diff"
        echo "$line: the sample (<) is not how $of begins (>)" >&2
        exit 1
    fi
    samples=$((samples + 1))
done
echo "README check: $(grep -c '^source ' "$reader") blocks of README.md and its ${#pages[@]} pages ran as written, in order, in one shell; $samples samples are true"
