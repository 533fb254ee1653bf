#!/usr/bin/env bash
# Installs the build dependencies, builds every plug-in format and the tests,
# and copies the VST3 and LV2 bundles into ~/.vst3 and ~/.lv2.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=$(grep -v '^\s*#' tools/debian-packages.txt | xargs)
missing=""
for p in $packages; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing="$missing $p"
done
if [ -n "$missing" ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DGRELK_COPY_PLUGINS=ON
cmake --build build -j"$(nproc)"

echo
echo "VST3:       build/Grelk_artefacts/Release/VST3/Grelk.vst3  (copied to ~/.vst3)"
echo "LV2:        build/Grelk_artefacts/Release/LV2/Grelk.lv2    (copied to ~/.lv2)"
echo "Standalone: build/Grelk_artefacts/Release/Standalone/Grelk"
