#!/usr/bin/env bash
# Several simulated dosers on one line at 38400 bit/s, all in one batch, without a window: 1, 4
# and 8 dosers, then 8 with a ninth on the line that never answers. Prints each run's exchanges a
# second against the line's limit (a 12-byte request and a 12-byte reply, 6.25 ms) and the dosers'
# cycle period, then the goals: with 8 dosers at least 80 % of the limit and a median cycle within
# max(160 ms, 1.25 x the line time of a doser round); the silent doser stretching the others'
# cycle by at most 25 %. Exits 1 when a goal is missed. Run by hand: about 2 minutes.
# K310_LINE_SECONDS changes how long each run measures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${K310_BENCH_DIR:-$root/build-bench}
seconds=${K310_LINE_SECONDS:-20}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${K310_BUILD_TYPE:-Release}" \
    -DK310_BUILD_BENCHMARKS=ON -DK310_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --parallel 2 --target k310sim bench_line >/dev/null

run() {
    "$build/benchmarks/bench_line" --simulator "$build/simulator/k310sim" --seconds "$seconds" "$@"
}
figure() { sed -n "s/.*$1 \([0-9.]*\).*/\1/p" <<<"$2"; }

one=$(run --dosers 1)
four=$(run --dosers 4)
eight=$(run --dosers 8)
silent=$(run --dosers 8 --silent)
printf '%s\n' "$one" "$four" "$eight" "$silent"

status=0
verdict() {
    if awk "BEGIN { exit !($2) }"; then echo "met:    $1"; else echo "missed: $1"; status=1; fi
}
share=$(sed -n 's/.*(\([0-9.]*\) % of.*/\1/p' <<<"$eight")
median=$(figure "cycle median" "$eight")
bound=$(figure "bound" "$eight")
quiet=$(figure "cycle median" "$silent")
verdict "8 dosers carry $share % of the line's limit (goal at least 80 %)" "$share >= 80"
verdict "8 dosers' median cycle $median ms within $bound ms" "$median <= $bound"
verdict "one silent doser stretches the others' cycle from $median to $quiet ms (goal at most +25 %)" \
    "$quiet <= 1.25 * $median"
exit "$status"
