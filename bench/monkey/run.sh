#!/bin/sh
# Runs the seeded monkey (bench_monkey) round after round, each round a fresh program
# with the next seed, for the time given, and prints the counts: rounds, events,
# crashes, sanitizer findings, hangs. A failed round prints its seed and its last 50
# events, and keeps its files.
#
# Usage: bench/monkey/run.sh <build dir> [seconds, 1800] [first seed, from the clock]
#                            [seconds per round, 60]
# The build folder holds bench_monkey (a sanitizer build for findings: CI runs it in its
# AddressSanitizer + UndefinedBehaviorSanitizer build). The program's file dialogs are
# real, so the monkey never runs as root: as root the script runs it as the user
# kvmonkey (made here when missing, without a home, login or password), always with a
# throwaway home and program folder that are removed after a round that passed. The
# round's own files (event log, output, core) sit in a folder the monkey's user cannot
# write to, beside its home: a file dialog can rename or remove anything its user owns.
set -e
build=$(cd "${1:?usage: $0 <build dir> [seconds] [first seed] [round seconds]}" && pwd)
total=${2:-1800}
seed=${3:-$(date +%s)}
round=${4:-60}
stall=${KV_MONKEY_STALL_S:-60}
monkey=$build/bench/monkey/bench_monkey
[ -x "$monkey" ] || { echo "no $monkey: build the target bench_monkey" >&2; exit 2; }
me=$(cd "$(dirname "$0")" && pwd)/run.sh
supp=$(cd "$(dirname "$0")/../.." && pwd)/cmake/lsan.supp

if [ "$(id -u)" = 0 ]; then
    id kvmonkey >/dev/null 2>&1 ||
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin kvmonkey
    # Each round in a mount namespace of its own with empty /tmp, /var/tmp and /dev/shm:
    # the file dialogs make folders and save files wherever their user may write, and
    # none of that reaches the machine's shared folders. (Where namespaces are not
    # allowed, as in some containers, the rounds share the machine's.)
    as() {
        unshare --mount --propagation private sh -c '
            for d in /tmp /var/tmp /dev/shm; do
                case "$KV_KEEP/" in "$d"/*) continue ;; esac
                mount -t tmpfs -o mode=1777,size=256m tmpfs "$d" || exit 125
            done
            exec runuser -u kvmonkey -- "$@"' sh "$@"
    }
    if ! unshare --mount --propagation private sh -c 'mount -t tmpfs tmpfs /tmp' 2>/dev/null; then
        echo "no private mount namespace here: the rounds' file dialogs reach the machine's /tmp" >&2
        as() { runuser -u kvmonkey -- "$@"; }
    fi
    owner=kvmonkey
    boxes=/run/kv-monkey
    mkdir -p "$boxes"
    chmod 755 "$boxes"
else
    as() { "$@"; }
    owner=$(id -un)
    boxes=${TMPDIR:-/tmp}
fi
# A folder that the rounds' private temporary folders must not hide.
export KV_KEEP="$build"

as test -x "$monkey" || { echo "$owner cannot run $monkey: the build folder must be readable by all" >&2; exit 2; }

rounds=0 events=0 crashes=0 findings=0 hangs=0
start=$(date +%s)
# The last round is shorter when less time is left (a round takes some seconds more
# than its events: the start and the orderly end).
while left=$((total - ($(date +%s) - start) - 10)) && { [ "$left" -ge 10 ] || [ "$rounds" = 0 ]; }; do
    this=$round
    [ "$left" -lt "$this" ] && [ "$left" -ge 10 ] && this=$left
    box=$(mktemp -d "$boxes/kv-monkey.XXXXXX")
    chmod 755 "$box"
    home=$box/home
    mkdir -p "$home/folder" "$home/run"
    chmod 700 "$home/run"
    : >"$box/events"
    : >"$box/out"
    : >"$box/err"
    chown -R "$owner" "$home" "$box/events"
    chmod 555 "$box"
    rc=0
    # In the throwaway home, with a core file for a crash.
    cd "$home"
    ulimit -c unlimited 2>/dev/null || true
    as env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home/run" KELVANOR_FOLDER="$home/folder" \
        QT_QPA_PLATFORM=offscreen KV_MONKEY_STALL_S="$stall" \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}handle_abort=1" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" \
        LSAN_OPTIONS="suppressions=$supp:print_suppressions=0" \
        timeout -s KILL $((this + 2 * stall + 120)) "$monkey" "$seed" "$this" "$box/events" \
        >"$box/out" 2>"$box/err" || rc=$?
    rounds=$((rounds + 1))
    n=$(wc -l <"$box/events" 2>/dev/null || echo 0)
    events=$((events + n))
    what=""
    if grep -q "MONKEY HANG" "$box/err" || [ "$rc" = 137 ]; then
        hangs=$((hangs + 1)) what="hang"
    elif grep -qE "ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:" "$box/err"; then
        findings=$((findings + 1)) what="sanitizer finding"
    elif [ "$rc" != 0 ] || ! grep -q "MONKEY END" "$box/out"; then
        crashes=$((crashes + 1)) what="crash (exit status $rc)"
    fi
    if [ -n "$what" ]; then
        echo "round $rounds, seed $seed: $what; files kept in $box; replay: $me $build $this $seed $this"
        echo "last 50 events:"
        tail -n 50 "$box/events" | sed 's/^/  /'
        grep -E -A 30 "MONKEY HANG|ERROR: |runtime error:" "$box/err" | head -n 80 | sed 's/^/  | /'
        core=$(ls "$home"/core* 2>/dev/null | head -n 1)
        if [ -n "$core" ] && command -v gdb >/dev/null; then
            echo "the crashed thread:"
            gdb -q -batch -ex "thread" -ex "bt 25" "$monkey" "$core" 2>/dev/null | grep -E "^#|^\[Current" | sed 's/^/  | /'
        fi
    else
        echo "round $rounds, seed $seed: $n events, ended in order (last: $(tail -n 1 "$box/events" | cut -d' ' -f2-))"
        chmod 755 "$box"
        rm -rf "$box"
    fi
    seed=$((seed + 1))
    cd /
done
echo "$rounds rounds, $events events in $(($(date +%s) - start)) s: $crashes crashes, $findings sanitizer findings, $hangs hangs"
[ $((crashes + findings + hangs)) = 0 ]
