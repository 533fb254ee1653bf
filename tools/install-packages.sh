#!/usr/bin/env bash
# Installs, with apt-get, the packages named in the given lists (one a line,
# # starts a comment) that are not installed yet; through sudo when not root.
set -euo pipefail

missing=()
for p in $(cat "$@" | sed 's/#.*//'); do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing ${missing[*]}"
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
