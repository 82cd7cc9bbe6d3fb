#!/usr/bin/env bash
# Measures the console against a minimal Qt window of the same size, on a virtual display:
# start-up from launch to the window shown, resident memory, and the CPU the console uses while
# it polls the simulated doser, idle, for 10 s; then a batch's time with the live weight and
# without, and the console's CPU during a batch with the trend open. Prints the figures; run
# by hand.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${K310_BENCH_DIR:-$root/build-bench}
runs=${K310_BENCH_RUNS:-7}
idle_s=10

K310_EXTRA_PACKAGES="xvfb x11-utils fonts-dejavu-core" "$root/scripts/install-deps.sh"
# The batch benchmark drives the console with the tests' rig; only what the runs start is built.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DK310_BUILD_BENCHMARKS=ON \
    -DK310_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --parallel 2 --target k310console k310sim minimalwindow bench_livebatch \
    >/dev/null

work=$(mktemp -d)
started=()
cleanup() {
    for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

export DISPLAY=:$((200 + RANDOM % 50))
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
started+=($!)
sleep 1

"$build/simulator/k310sim" --quiet >"$work/port" 2>/dev/null &
started+=($!)
for _ in $(seq 100); do [[ -s "$work/port" ]] && break; sleep 0.05; done
port=$(head -n 1 "$work/port")
mkdir -p "$work/config/KESTA"
printf '[General]\ncomPort=%s\n' "$port" >"$work/config/KESTA/K310_Test.conf"
export K310_EXTRA_PORTS="$port" XDG_CONFIG_HOME="$work/config"
cd "$work"

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The display's window events, read as they come: waiting costs the programs no CPU.
mkfifo "$work/events"
stdbuf -oL xev -root -event substructure >"$work/events" 2>/dev/null &
started+=($!)
exec 3<"$work/events"

# Milliseconds from launch until the program's window is mapped on the display; leaves the
# program running with its pid in $program_pid.
time_to_window() {
    local start line
    start=$(now_ms)
    "$@" >/dev/null 2>&1 &
    program_pid=$!
    while read -r line <&3; do
        [[ $line == MapNotify* ]] && break
    done
    echo $(($(now_ms) - start))
}

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

declare -A startup rss
for program in minimal console; do
    : >"$work/$program.times"
    for _ in $(seq "$runs"); do
        if [[ $program == minimal ]]; then
            time_to_window "$build/benchmarks/minimalwindow" >>"$work/$program.times"
        else
            time_to_window "$build/console/k310console" >>"$work/$program.times"
        fi
        sleep 2
        rss[$program]=$(rss_kb "$program_pid")
        if [[ $program == console ]]; then
            before=$(cpu_ticks "$program_pid")
            sleep "$idle_s"
            after=$(cpu_ticks "$program_pid")
            echo $((after - before)) >>"$work/cpu.ticks"
        fi
        kill "$program_pid"
        wait "$program_pid" 2>/dev/null || true
    done
    startup[$program]=$(median <"$work/$program.times")
done

hz=$(getconf CLK_TCK)
cpu_ticks=$(median <"$work/cpu.ticks")
cpu_percent=$(awk -v t="$cpu_ticks" -v hz="$hz" -v s="$idle_s" 'BEGIN {printf "%.2f", 100 * t / hz / s}')
ratio=$(awk -v c="${startup[console]}" -v m="${startup[minimal]}" 'BEGIN {printf "%.2f", c / m}')
extra_mb=$(awk -v c="${rss[console]}" -v m="${rss[minimal]}" 'BEGIN {printf "%.1f", (c - m) / 1024}')

printf 'start-up to window shown (median of %d): console %d ms, minimal window %d ms, ratio %s (target <= 1.30)\n' \
    "$runs" "${startup[console]}" "${startup[minimal]}" "$ratio"
printf 'resident memory: console %d kB, minimal window %d kB, console uses %s MB more (target <= 25)\n' \
    "${rss[console]}" "${rss[minimal]}" "$extra_mb"
printf 'CPU while idle and polling the doser for %d s: %s %% of one core (target < 2)\n' \
    "$idle_s" "$cpu_percent"

# The rig keeps its own folders and settings, apart from the runs above.
(cd "$work" && "$build/benchmarks/bench_livebatch" 2>/dev/null) || true
