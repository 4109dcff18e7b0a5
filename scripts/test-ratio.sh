#!/bin/sh
# Prints the size of the test suite against the code it tests: non-blank lines of the C++
# files under tests/ against those under src/ and tools/.
set -eu
cd "$(dirname "$0")/.."
count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -exec cat {} + | grep -cv '^[[:space:]]*$'
}
code=$(count src tools)
tests=$(count tests)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d, src+tools %d: %.2f\n", t, c, t / c }'
