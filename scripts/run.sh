#!/bin/sh
# Installs what is missing, builds Kartivo and opens its window.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target kartivo
exec ./build/bin/kartivo
