#!/usr/bin/env bash
# Times the two set-up commands on fresh clones, the way a new user meets them: each command on
# a clone of its own, once as it was on the base branch and once as it is now, one after the
# other in one run so the machine's load is alike; prints the times. K310_BENCH_TESTS=0 leaves
# the test command out (it takes many minutes). Run by hand, on an otherwise quiet machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
base=${K310_BENCH_BASE:-main}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seconds from a fresh clone's run command to its exit (headless: after its screenshot).
time_run() {
    local clone=$1 start end
    start=$(date +%s%N)
    env -u DISPLAY -u WAYLAND_DISPLAY -u K310_BUILD_DIR K310_SCREENSHOT_AFTER=2 \
        "$clone/scripts/run-console.sh" >"$clone.log" 2>&1
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN {printf "%.1f", ns / 1e9}'
}

# Seconds the test command takes on a fresh clone.
time_tests() {
    local clone=$1 start end
    start=$(date +%s%N)
    env -u K310_BUILD_DIR "$clone/scripts/run-tests.sh" >"$clone.log" 2>&1 || echo "(failed: $clone.log)" >&2
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN {printf "%.1f", ns / 1e9}'
}

clone() {
    git clone -q "$root" "$work/$1"
    git -C "$work/$1" checkout -q "$2"
}
now=$(git -C "$root" rev-parse HEAD)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

clone run-before "$base"
clone run-after "$now"
before=$(time_run "$work/run-before")
after=$(time_run "$work/run-after")
printf 'run command on a fresh clone: before (%s) %s s, now %s s, ratio %s\n' "$base" "$before" \
    "$after" "$(ratio "$after" "$before")"
grep -h '^set-up:' "$work/run-after.log" || true

if [[ "${K310_BENCH_TESTS:-1}" != 0 ]]; then
    clone tests-before "$base"
    clone tests-after "$now"
    before=$(time_tests "$work/tests-before")
    after=$(time_tests "$work/tests-after")
    printf 'test command on a fresh clone: before (%s) %s s, now %s s, ratio %s\n' "$base" \
        "$before" "$after" "$(ratio "$after" "$before")"
fi
