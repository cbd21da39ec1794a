#!/bin/sh
# Keeps the tests lean: counts non-blank, non-comment lines of C++ in tests/ against the
# program (everything else but bench/ and fuzz/) and fails when tests pass the given share.
set -eu
cd "$(dirname "$0")/.."
limit=${1:-36}

count() {
    # Lines that are neither blank, nor a // comment, nor inside a /* */ comment block.
    awk '
        block { if (index($0, "*/")) block = 0; next }
        /^[ \t]*\/\*/ { if (!index($0, "*/")) block = 1; next }
        /^[ \t]*(\/\/.*)?$/ { next }
        { n++ }
        END { print n + 0 }' "$@" </dev/null
}

# Build folders hold generated sources; they are not ours to count.
sources=$(find . \( -path './.*' -o -path './build*' \) -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||')
tests=$(count $(echo "$sources" | grep '^tests/'))
program=$(count $(echo "$sources" | grep -Ev '^(tests|bench|fuzz)/'))
echo "C++ lines: tests $tests, program $program; tests may be at most $limit % of all"
if [ $((100 * tests)) -gt $((limit * (tests + program))) ]; then
    echo "The tests are $((100 * tests / (tests + program))) % of the C++ lines: fold or cut restating tests." >&2
    exit 1
fi
