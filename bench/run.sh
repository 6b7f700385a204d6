#!/usr/bin/env bash
# Runs every benchmark of a build folder and prints one table of figures.
#   bench/run.sh BUILD_FOLDER
set -euo pipefail
build=${1:-build-bench}
data=${BENCH_DATA:-$(mktemp -d /tmp/corvane-bench.XXXXXX)}
results=$(mktemp)
trap 'rm -rf "$data" "$results"' EXIT
export CORVANE_EXE="$PWD/$build/corvane"

for bench in "$build"/bench/*_bench; do
    name=$(basename "$bench")
    echo "running $name ..." >&2
    if ! "$bench" "$data/$name" > "$data/$name.out"; then
        echo "$name failed" >&2
    fi
    sed "s/^/$name\t/" "$data/$name.out" >> "$results"
    rm -rf "${data:?}/$name"
done

printf '\n%-16s %-44s %s\n' benchmark figure value
printf '%-16s %-44s %s\n' ---------------- -------------------------------------------- -----
while IFS=$'\t' read -r name line; do
    figure=${line%%: *}
    value=${line#*: }
    printf '%-16s %-44s %s\n' "${name%_bench}" "$figure" "$value"
done < "$results"
