#!/usr/bin/env bash
# Installs the Debian packages the console needs to build and run; with --tests also what only
# the tests use. Only what is missing; waits for another install under way (several builds may
# start at once).
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
    qt6-charts-dev libqt6opengl6-dev
    libsqlite3-dev sqlite3
    qt6-serialbus-dev libmosquitto-dev mosquitto
    dpkg-dev
)
# The package test checks the .deb with lintian.
test_packages=(lintian)
[[ "${1:-}" == --tests ]] && packages+=("${test_packages[@]}")
# Callers that need more (a virtual display, say) name it here.
read -r -a extra <<<"${K310_EXTRA_PACKAGES:-}"
packages+=("${extra[@]}")

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
