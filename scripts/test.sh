#!/bin/sh
# Installs what is missing, builds Kartivo twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test of both builds, then runs each fuzz target for
# a few seconds (clang, sanitized). Fails when any test fails.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKARTIVO_WERROR=ON -DKARTIVO_IMPORT=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKARTIVO_SANITIZE=ON -DKARTIVO_WERROR=ON -DKARTIVO_IMPORT=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions="$PWD/scripts/lsan.supp" \
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# The fuzz targets need clang; they run briefly over their seeds, so they keep building and clean.
# None needs GDAL, so this is also the build without the import: its batch tool must still build
# and say why it cannot import.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKARTIVO_FUZZ=ON -DKARTIVO_WERROR=ON \
    -DKARTIVO_SANITIZE=ON -DKARTIVO_BUILD_VIEW=OFF -DKARTIVO_IMPORT=OFF -DBUILD_TESTING=ON
cmake --build build-fuzz -j "$jobs" --target fuzz_all kartivo-batch
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-fuzz -L "fuzz|no-import" --output-on-failure -j "$jobs"

# The tests stay lean as the program grows.
./scripts/test-share.sh 36
