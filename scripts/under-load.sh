#!/bin/sh
# Runs tests again and again while a build of the program keeps every core busy
# beside them: a test that fails one run in twenty on a loaded machine is a fault to
# find (in the program or in the test), never one to retry.
#
# Usage: scripts/under-load.sh <build folder> [ctest regex] [runs] [ctest exclude regex]
#   the build folder holds the built tests (e.g. build-tests, or a sanitizer build with
#   the sanitizers' options in the environment, as .ci/run sets them); the regex picks
#   the tests (all when empty), the exclude regex leaves some out (as CI leaves tests
#   out of a sanitizer build); runs defaults to 20. Each run prints its time and the
#   load average at its end; the last line counts the runs, and the tests that failed
#   say how often. Exits non-zero when any run failed.
# The load is a build from scratch, without the compiler cache, in a folder of its
# own, started again as often as it ends.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: $0 <build folder> [ctest regex] [runs]}" && pwd)
regex=${2:-}
runs=${3:-20}
exclude=${4:-}
load=$(mktemp -d)
log=$(mktemp)

cmake -S "$top" -B "$load" -G Ninja -DKV_BUILD_TESTS=ON -DKV_BUILD_BENCH=OFF >/dev/null
# A session of its own, so that the whole build (ninja and its compilers) ends with it.
setsid sh -c 'while :; do CCACHE_DISABLE=1 cmake --build "$1" -j "$(nproc)" --clean-first >/dev/null 2>&1; done' \
    load "$load" &
loader=$!
tally=$(mktemp)
trap 'kill -- -$loader 2>/dev/null; rm -rf "$load" "$log" "$tally"' EXIT
trap 'exit 130' INT TERM
sleep 5 # the build under way before the first run

failed=0
i=1
while [ "$i" -le "$runs" ]; do
    began=$(date +%s)
    if (cd "$build" && ctest --output-on-failure ${regex:+-R "$regex"} ${exclude:+-E "$exclude"}) >"$log" 2>&1; then
        result=passed
    else
        failed=$((failed + 1))
        result=FAILED
    fi
    echo "run $i: $result in $(($(date +%s) - began)) s, load average $(cut -d' ' -f1-3 /proc/loadavg)"
    if [ "$result" = FAILED ]; then
        grep -E "Failed|FAIL!|\*\*\*" "$log" | head -20
        sed -n '/The following tests FAILED/,$p' "$log" | grep -oE '^[[:space:]]*[0-9]+ - [^ ]+' |
            awk '{print $3}' >>"$tally"
    fi
    i=$((i + 1))
done
echo "$((runs - failed)) passed, $failed failed"
[ -s "$tally" ] && sort "$tally" | uniq -c | sed 's/^ */  failed /'
[ "$failed" = 0 ]
