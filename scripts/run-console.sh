#!/usr/bin/env bash
# Sets up, builds and starts the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${K310_BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
exec "$build/tools/k310frame" "$@"
