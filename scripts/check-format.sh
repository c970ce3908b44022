#!/bin/sh
# Fails when clang-format (Debian's, with the repository's .clang-format) would
# change any tracked C++ file, and names those files. Fix with:
#   git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -e
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format is missing: scripts/deps.sh test"; exit 1; }
bad=$(git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)
if [ -n "$bad" ]; then
    echo "These files are not formatted as .clang-format says:"
    echo "$bad" | sed 's/^/  /'
    exit 1
fi
echo "Format: every C++ file as .clang-format says."
