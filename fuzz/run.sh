#!/bin/sh
# Runs every fuzz target over its seeds and new inputs, a bounded number of times.
# Usage: fuzz/run.sh <folder of the fuzz_* programs> [ci|long]
#   ci:   a few minutes for all of them together (the CI run)
#   long: a million inputs each (by hand; hours)
# New inputs go to a scratch folder; the seeds in fuzz/corpus are only read.
# A crash, sanitizer report, hang or leak stops the run with the input in the
# current folder (crash-*, timeout-*, leak-*, oom-*): keep it as a seed.
set -e
bin=$1
mode=${2:-ci}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# name, runs in CI
for entry in parameterfile:20000 codecinfo:10000 systemini:2000 registry:600 picture:600 avifile:10000 camera:2000; do
    name=${entry%%:*}
    runs=${entry#*:}
    [ "$mode" = long ] && runs=1000000
    mkdir -p "$work/$name"
    echo "--- fuzz_$name: $runs inputs"
    t0=$(date +%s)
    "$bin/fuzz_$name" -runs="$runs" -timeout=30 -rss_limit_mb=4096 -max_len=65536 -print_final_stats=1 \
        "$work/$name" "$here/corpus/$name" 2>"$work/$name.log" || {
        tail -n 60 "$work/$name.log"
        exit 1
    }
    grep -E '^stat::number_of_executed_units|^Done' "$work/$name.log" || true
    echo "    $(($(date +%s) - t0)) s"
done
