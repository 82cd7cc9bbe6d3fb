#!/usr/bin/env bash
# Configures and builds the project into build/ (or $K310_BUILD_DIR). Extra arguments go to cmake.
# K310_BUILD_TARGETS (space-separated) builds only those targets and what they link.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${K310_BUILD_DIR:-$root/build}

# A configure that builds the tests installs what they use too.
deps=()
[[ " $* " == *" -DK310_BUILD_TESTS=ON "* ]] && deps=(--tests)
"$root/scripts/install-deps.sh" ${deps[@]+"${deps[@]}"}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${K310_BUILD_TYPE:-RelWithDebInfo} "$@"
read -r -a targets <<<"${K310_BUILD_TARGETS:-}"
cmake --build "$build" --parallel 2 ${targets[@]+--target "${targets[@]}"}
