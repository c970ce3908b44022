#!/bin/sh
# Installs what is missing, builds everything and runs every test.
set -e
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/deps.sh" test
cmake -S "$top" -B "$top/build-tests" -G Ninja -DKV_BUILD_TESTS=ON -DKV_BUILD_BENCH=ON >/dev/null
cmake --build "$top/build-tests" -j 2
cd "$top/build-tests"
ctest --output-on-failure -j 2
