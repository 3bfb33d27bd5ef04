#!/usr/bin/env bash
# Installs the Debian packages the build, tests and demo need (only those missing),
# then configures and builds the given preset (default: "default").
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
preset="${1:-default}"

packages=(g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
          libbenchmark-dev xvfb xauth fonts-liberation2 qt6-translations-l10n dpkg-dev file clang libclang-rt-14-dev
          mosquitto libmosquitto-dev libqt6sql6-sqlite openssl)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cd "$here"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
