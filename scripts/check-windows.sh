#!/usr/bin/env bash
# Checks the Win32 serial port under a Windows emulation (wine) against the simulated doser:
# installs mingw-w64 and wine where missing, cross-builds the programs that need no Qt, points
# COM1 and COM12 of a fresh emulation prefix at k310sim's pseudo-terminal and runs them through
# both. Skips with one line where the emulation cannot be installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${K310_BUILD_DIR:-$root/build}
cross=${K310_CROSS_BUILD_DIR:-$root/build-mingw}
# A pristine prefix made once; every run works on a fresh copy of it.
template=$cross/wine-template

polls=200
# Far above the numbers the emulation gives the machine's own serial devices.
missing_port=COM200
rts_fallback_line='does not switch RTS while sending'

started=$(date +%s%N)
say() { echo "check-windows: $*"; }

packages=(g++-mingw-w64-x86-64-win32 wine wine64)
missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    mkdir -p "$cross"
    sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    say "installing ${missing[*]}"
    if ! { "${sudo[@]}" apt-get update -qq \
        && DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
            --no-install-recommends "${missing[@]}"; } >"$cross/install.log" 2>&1; then
        say "skipped: the Windows emulation cannot be installed here (apt-get install ${missing[*]} failed, see $cross/install.log)"
        exit 0
    fi
fi

# Quiet, headless and with nothing fetched or added to the desktop.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

# Beside the template, so that a copy can be made of hard links.
mkdir -p "$cross"
work=$(mktemp -d "$cross/run.XXXXXX")
prefix=$work/prefix
sim_pid=
server_pid=
template_server=

# Processes the emulation started for a prefix outlive its server; they are found by the prefix
# in their environment and ended by id.
end_prefix() {
    local dir=$1 pid=$2 p
    [[ -d "$dir" ]] || return 0
    WINEPREFIX=$dir wineserver -k >/dev/null 2>&1 || true
    if [[ -n "$pid" ]]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    for p in $(grep -lzxF "WINEPREFIX=$dir" /proc/[0-9]*/environ 2>/dev/null); do
        p=${p#/proc/}
        kill -9 "${p%/environ}" 2>/dev/null || true
    done
    # The server's socket folder, named in the prefix.
    if [[ -f "$dir/wineserver" ]]; then
        local socket_dir
        socket_dir=/tmp/$(cat "$dir/wineserver")
        [[ "$socket_dir" == /tmp/wine-* && -d "$socket_dir" ]] && rm -rf "$socket_dir"
    fi
    return 0
}

finish() {
    if [[ -n "$sim_pid" ]]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    end_prefix "$prefix" "$server_pid"
    if [[ -n "$template_server" ]]; then
        end_prefix "$template" "$template_server"
        rm -rf "$template"
    fi
    rm -rf "$work"
}
trap finish EXIT

# Logs only when a step fails.
quietly() {
    local log=$1
    shift
    if ! "$@" >"$log" 2>&1; then
        cat "$log"
        say "failed: $*"
        exit 1
    fi
}

if [[ ! -f "$cross/build.ninja" ]]; then
    quietly "$work/configure.log" cmake -S "$root" -B "$cross" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DK310_PORT_ONLY=ON \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Werror
fi
quietly "$work/cross.log" nice -n 10 cmake --build "$cross" --parallel 2
if [[ -f "$build/build.ninja" ]]; then
    quietly "$work/native.log" nice -n 10 cmake --build "$build" --parallel 2 --target k310sim
else
    quietly "$work/native.log" "$root/scripts/build.sh"
fi

# COM1 and COM12 are reserved (empty) in the template, so that no run of it, nor the first run
# of a copy, maps COM1 to the machine's first serial device, which may be the kernel console.
wine_version=$(wine --version)
if [[ ! -f "$template/system.reg" || "$(cat "$template.version" 2>/dev/null)" != "$wine_version" ]]; then
    rm -rf "$template" "$template.version"
    mkdir -p "$template"
    cat >"$template/system.reg" <<'EOF'
WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Wine\\Ports] 0
"COM1"=""
"COM12"=""
EOF
    say "making the emulation prefix (once)"
    WINEPREFIX=$template wineserver -f -p >"$work/template-server.log" 2>&1 &
    template_server=$!
    quietly "$work/template.log" env WINEPREFIX="$template" wine wineboot --init
    end_prefix "$template" "$template_server"
    template_server=
    rm -f "$template/wineserver"
    echo "$wine_version" >"$template.version"
fi

coproc SIM { exec "$build/simulator/k310sim" --seed 1 2>"$work/k310sim.log"; }
sim_pid=$SIM_PID
if ! read -r -t 10 -u "${SIM[0]}" line; then
    cat "$work/k310sim.log"
    say "failed: k310sim printed no port"
    exit 1
fi
pty=$line

# Hard links for the prefix's bulk, the programs and libraries the emulation only reads; its
# own copies of everything else (the registry, caches), which it may write.
mkdir -p "$prefix"
cp -al "$template/." "$prefix/"
(cd "$template" && find . -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.sys' \
    -o -iname '*.drv' -o -iname '*.nls' \) -print0) |
    while IFS= read -r -d '' file; do
        cp --remove-destination "$template/$file" "$prefix/$file"
    done
rm -f "$prefix"/dosdevices/com*
sed -i "s|^\"COM1\"=\"\"\$|\"COM1\"=\"$pty\"|; s|^\"COM12\"=\"\"\$|\"COM12\"=\"$pty\"|" \
    "$prefix/system.reg"
if [[ $(grep -cxF -e "\"COM1\"=\"$pty\"" -e "\"COM12\"=\"$pty\"" "$prefix/system.reg") -ne 2 ]]; then
    say "failed: COM1 and COM12 could not be pointed at $pty"
    exit 1
fi
WINEPREFIX=$prefix wineserver -f -p >"$work/wineserver.log" 2>&1 &
server_pid=$!

# The emulation maps its ports as it starts; nothing may write before they are known to lead
# to the simulated doser.
quietly "$work/start.log" env WINEPREFIX="$prefix" wine cmd /c exit 0
for port in com1 com12; do
    if [[ $(readlink "$prefix/dosdevices/$port") != "$pty" ]]; then
        say "failed: $port does not lead to $pty, nothing was run through it"
        exit 1
    fi
done

passed=0
failed=0
# run NAME EXPECTED-STATUS PATTERN COMMAND...: passes when the command ends with the status and
# its output has the pattern.
run() {
    local name=$1 expected=$2 pattern=$3 status=0
    shift 3
    WINEPREFIX=$prefix wine "$@" >"$work/out" 2>"$work/err" || status=$?
    if [[ $status -eq $expected ]] && grep -q -- "$pattern" "$work/out"; then
        passed=$((passed + 1))
        say "ok   $name: $(tail -n 1 "$work/out")"
    else
        failed=$((failed + 1))
        say "FAIL $name (status $status, expected $expected)"
        cat "$work/out" "$work/err"
    fi
}

poll=$cross/tools/k310poll.exe
run "COM1, opened as shipped" 0 " $polls intact, 0 corrupt, 0 lost" "$poll" COM1 --count "$polls"
if [[ $(grep -c "$rts_fallback_line" "$work/err") -ne 1 ]]; then
    failed=$((failed + 1))
    say "FAIL the refused RTS toggling is not told in exactly one line"
fi
run "COM12" 0 " 20 intact, 0 corrupt, 0 lost" "$poll" COM12 --count 20
run "COM12 named in device form" 0 " 20 intact, 0 corrupt, 0 lost" "$poll" '\\.\COM12' --count 20
run "$missing_port, not mapped" 2 "COM port not present" "$poll" "$missing_port"
run "Win32 backend" 0 "all checks passed" \
    "$cross/tests/link/tst_win32serialdevice.exe" COM12 "$missing_port"

elapsed=$((($(date +%s%N) - started) / 100000000))
say "took $((elapsed / 10)).$((elapsed % 10)) s"
say "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
