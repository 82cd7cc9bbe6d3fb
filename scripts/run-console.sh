#!/usr/bin/env bash
# Builds the console and starts it against the simulated doser on a pseudo-terminal.
# Arguments after -- go to the simulator (k310sim --help lists them), for example
#   ./scripts/run-console.sh -- --fault drop:p=0.05
# The console keeps data.db and its settings in build/run-console/, apart from a real
# installation's. Without a display it runs on a virtual one for a few seconds and saves a
# screenshot of the live window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${K310_BUILD_DIR:-$root/build}
simulator_args=()
if [[ $# -gt 0 && "$1" == "--" ]]; then
    shift
    simulator_args=("$@")
fi

headless=0
[[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]] && headless=1
began=$SECONDS
extra=""
[[ $headless -eq 1 ]] && extra="xvfb x11-apps netpbm fonts-dejavu-core"
K310_EXTRA_PACKAGES="$extra" "$root/scripts/install-deps.sh"
installed=$SECONDS
# Only what it starts: the tests are the test command's to build.
K310_BUILD_TARGETS="k310console k310sim" "$root/scripts/build.sh"
echo "set-up: install $((installed - began)) s, build $((SECONDS - installed)) s"

run="$build/run-console"
mkdir -p "$run/config/KESTA"
started=()
cleanup() {
    # Only what this script started, by its process id.
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap cleanup EXIT

"$build/simulator/k310sim" "${simulator_args[@]}" >"$run/simulator.port" 2>"$run/simulator.log" &
started+=($!)
for _ in $(seq 100); do
    [[ -s "$run/simulator.port" ]] && break
    sleep 0.05
done
port=$(head -n 1 "$run/simulator.port")
[[ -n "$port" ]] || { echo "the simulated doser did not start; see $run/simulator.log" >&2; exit 1; }
echo "simulated doser on $port (log: $run/simulator.log)"

# The console reopens the port it used last: make that the simulator's.
settings="$run/config/KESTA/K310_Test.conf"
touch "$settings"
grep -q '^\[General\]' "$settings" || sed -i '1i [General]' "$settings"
sed -i '/^comPort=/d' "$settings"
sed -i "/^\[General\]/a comPort=$port" "$settings"

cd "$run"
export K310_EXTRA_PORTS="$port" XDG_CONFIG_HOME="$run/config"
if [[ $headless -eq 0 ]]; then
    "$build/console/k310console"
    exit 0
fi

echo "No display here: the console runs on a virtual display for a few seconds, then a screenshot is saved."
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$run/xvfb.log" 2>&1 &
started+=($!)
sleep 1
DISPLAY=$display "$build/console/k310console" >"$run/console.log" 2>&1 &
console=$!
started+=($console)
sleep "${K310_SCREENSHOT_AFTER:-6}"
shot="$run/console.png"
# The window stands where the console puts it, at (300, 300), 895 by 291 for one doser.
DISPLAY=$display xwd -root -silent | xwdtopnm 2>/dev/null \
    | pnmcut -left 300 -top 300 -width 895 -height 291 | pnmtopng >"$shot"
echo "screenshot of the live console: $shot (console log: $run/console.log)"
