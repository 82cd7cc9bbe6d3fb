#!/usr/bin/env bash
# The plant link at a plant's scale: a local broker, 20 consoles' publishers fed with batches'
# process images and dose rows for 60 s (K310_BENCH_SECONDS), one reader of everything. Prints
# the messages a second, the dose and batch messages lost and their delay; exits 1 when any was
# lost or the median delay is 10 ms or more. Run by hand.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${K310_BENCH_DIR:-$root/build-bench}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DK310_BUILD_BENCHMARKS=ON \
    -DK310_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --parallel 2 --target bench_plant >/dev/null
"$build/benchmarks/bench_plant"
