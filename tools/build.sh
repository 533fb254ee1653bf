#!/usr/bin/env bash
# Installs the packages the build needs, builds the VST3, LV2 and Standalone,
# and copies the VST3 and LV2 bundles into ~/.vst3 and ~/.lv2 (every time,
# replacing the copies there).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh tools/debian-packages.txt

# The tests and benchmarks are tools/test.sh's, which turns them back on.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DGRELK_BUILD_TESTS=OFF -DGRELK_BUILD_BENCHMARKS=OFF
cmake --build build -j"$(nproc)"

echo
tools/install-plugins.sh build/Grelk_artefacts/Release
echo "Standalone: build/Grelk_artefacts/Release/Standalone/Grelk"
