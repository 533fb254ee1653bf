#!/usr/bin/env bash
# Installs what the tests need, builds everything in build/ (the plug-ins,
# the tests and the benchmarks) and runs the whole CTest suite.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh tools/debian-packages.txt tools/debian-test-packages.txt

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DGRELK_BUILD_TESTS=ON -DGRELK_BUILD_BENCHMARKS=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
