#!/usr/bin/env bash
# Sets up, builds and runs every test through CTest, then the check of the Windows target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${K310_BUILD_DIR:-$root/build}

"$root/scripts/build.sh" -DK310_BUILD_TESTS=ON
cd "$build"
status=0
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel 2 "$@" || status=$?
# The Win32 serial port under the Windows emulation; one line where that cannot be installed.
"$root/scripts/check-windows.sh" || status=$?
exit "$status"
