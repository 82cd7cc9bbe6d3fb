#!/usr/bin/env bash
# Times the run command on fresh clones, the way a new user meets it: once as it was on the base
# branch (which built every test too) and once as it is now. Both build from nothing, one after
# the other, in one run, so the machine's load is alike; prints both times. Run by hand.
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

git clone -q "$root" "$work/before"
git -C "$work/before" checkout -q "$base"
git clone -q "$root" "$work/after"
git -C "$work/after" checkout -q "$(git -C "$root" rev-parse HEAD)"

before=$(time_run "$work/before")
after=$(time_run "$work/after")
printf 'run command on a fresh clone: before (%s) %s s, now %s s, ratio %s\n' "$base" "$before" \
    "$after" "$(awk -v a="$after" -v b="$before" 'BEGIN {printf "%.2f", a / b}')"
