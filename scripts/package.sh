#!/usr/bin/env bash
# Builds the console, the simulated doser and k310access and packs them into a Debian package in
# build/ (or $K310_BUILD_DIR): k310console_<version>-<release>_<arch>.deb. Prints its path and
# size.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${K310_BUILD_DIR:-$root/build}

K310_BUILD_TARGETS="k310console k310sim k310access" "$root/scripts/build.sh"
cd "$build"
cpack -G DEB >"$build/cpack.log" || { cat "$build/cpack.log" >&2; exit 1; }
package=$(ls -t "$build"/k310console_*.deb | head -n 1)
echo "$package ($(du -h "$package" | cut -f 1))"
