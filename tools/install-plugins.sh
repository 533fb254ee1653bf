#!/usr/bin/env bash
# Copies the built VST3 and LV2 bundles into ~/.vst3 and ~/.lv2, where hosts
# look for them, replacing whatever was there under the same name.
# Usage: tools/install-plugins.sh [artefacts folder, build/Grelk_artefacts/Release by default]
set -euo pipefail
artefacts="${1:-$(dirname "$0")/../build/Grelk_artefacts/Release}"

for bundle in VST3/Grelk.vst3 LV2/Grelk.lv2; do
    if [ ! -d "$artefacts/$bundle" ]; then
        echo "No $artefacts/$bundle: build the plug-ins first (tools/build.sh)." >&2
        exit 1
    fi
done

copy() {
    local from="$artefacts/$1" to="$2/$(basename "$1")"
    mkdir -p "$2"
    rm -rf "$to"
    cp -R "$from" "$to"
    echo "Copied $to:"
    (cd "$to" && find . -type f | sort | sed 's|^\./|    |')
}

copy VST3/Grelk.vst3 "$HOME/.vst3"
copy LV2/Grelk.lv2 "$HOME/.lv2"
