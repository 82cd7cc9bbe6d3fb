#!/usr/bin/env bash
# Accuracy and soak runs of the batch workflow against the simulated doser (minutes, not
# seconds; run by hand). Without arguments both run; name one to run only that:
#   randomTargetsEndWithinTheToleranceAndAddUp   20 batches of random targets, 1 to 500
#   flakyLineLosesAndDoublesNothing              one batch of 300 on a line dropping 5 % and
#                                                corrupting 2 % of the replies
# K310_SOAK_SEED repeats a run (each prints its seed).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${K310_SOAK_DIR:-$root/build}

"$root/scripts/build.sh" -DK310_BUILD_TESTS=ON -DK310_BUILD_BENCHMARKS=ON >/dev/null
cd "$build"
QT_QPA_PLATFORM=offscreen benchmarks/soak_batches "$@" 2>/dev/null
