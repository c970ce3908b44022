#!/bin/sh
# Runs every fuzz target over its seeds and new inputs, a bounded number of times.
# Usage: fuzz/run.sh <folder of the fuzz_* programs> [ci|long] [seconds per target]
# (KV_FUZZ_TARGETS="name ..." picks targets)
#   ci:   a few minutes for all of them together (the CI run)
#   long: a million inputs each (by hand; hours), or the seconds given per target;
#         what it found that reaches new code is kept, minimised, in fuzz/found
# Each target starts from the hand-made seeds in fuzz/corpus and the inputs kept in
# fuzz/found; new inputs go to a scratch folder.
# A crash, sanitizer report, hang or leak stops the run with the input in the
# current folder (crash-*, timeout-*, leak-*, oom-*): keep it as a seed.
set -e
bin=$1
mode=${2:-ci}
budget=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# name, runs in CI
for entry in parameterfile:20000 codecinfo:10000 systemini:2000 registry:600 picture:600 avifile:10000 camera:2000; do
    name=${entry%%:*}
    runs=${entry#*:}
    # KV_FUZZ_TARGETS="camera picture" runs only those.
    case " ${KV_FUZZ_TARGETS:-$name} " in *" $name "*) ;; *) continue ;; esac
    limit=""
    if [ "$mode" = long ]; then
        runs=1000000
        [ -n "$budget" ] && limit="-max_total_time=$budget"
    fi
    mkdir -p "$work/$name" "$here/found/$name"
    echo "--- fuzz_$name: $runs inputs"
    t0=$(date +%s)
    "$bin/fuzz_$name" -runs="$runs" $limit -timeout=30 -rss_limit_mb=4096 -max_len=65536 -print_final_stats=1 \
        "$work/$name" "$here/corpus/$name" "$here/found/$name" 2>"$work/$name.log" || {
        tail -n 60 "$work/$name.log"
        exit 1
    }
    grep -E '^stat::number_of_executed_units|^Done' "$work/$name.log" || true
    echo "    $(($(date +%s) - t0)) s"
    if [ "$mode" = long ]; then
        # Kept: the smallest set of seeds, kept and new inputs that reaches all they
        # reach, without the seeds themselves (they stay under their own names).
        mkdir "$work/$name.min"
        "$bin/fuzz_$name" -merge=1 -timeout=30 -rss_limit_mb=4096 -max_len=65536 "$work/$name.min" \
            "$here/corpus/$name" "$here/found/$name" "$work/$name" 2>"$work/$name.merge.log" || {
            tail -n 30 "$work/$name.merge.log"
            exit 1
        }
        for seed in "$here/corpus/$name"/*; do
            rm -f "$work/$name.min/$(sha1sum <"$seed" | cut -d' ' -f1)"
        done
        rm -f "$here/found/$name"/*
        cp "$work/$name.min"/* "$here/found/$name"/ 2>/dev/null || true
        echo "    kept in fuzz/found/$name: $(ls "$here/found/$name" | wc -l) inputs"
    fi
done
