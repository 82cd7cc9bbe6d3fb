#!/usr/bin/env bash
# Sets up, builds and runs every test through CTest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${K310_BUILD_DIR:-$root/build}

"$root/scripts/build.sh" -DK310_BUILD_TESTS=ON
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel 2 "$@"
