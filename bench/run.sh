#!/usr/bin/env bash
# Runs every benchmark of Sonalto under Wine and writes bench/RESULTS.md. Builds the
# program and the benchmark programs, starts a virtual display, a sound server (Wine's
# mixer device) and a wineserver of its own, runs the benchmarks, and stops all it
# started. As root on Debian 12, from anywhere:
#
#     bench/run.sh
#
# SONALTO_BUILD picks the build folder (default build/), BENCH_STARTS the starts of
# each program (default 15), BENCH_IDLE_SECONDS the idle time (default 30).
set -euo pipefail
BENCH=$(cd "$(dirname "$0")" && pwd)
source "$BENCH/../scripts/lib.sh"
STARTS=${BENCH_STARTS:-15}
IDLE_SECONDS=${BENCH_IDLE_SECONDS:-30}
OUT=$BUILD/bench-output

install_packages
# Only what the benchmarks run: the unit tests need not be built for them.
cmake --preset default -B "$BUILD" -DSONALTO_BENCH=ON >/dev/null
cmake --build "$BUILD" --target sonalto morvask bench_inprocess bench_minimal bench_minimal_read \
  bench_minimal_hook bench_launch
mkdir -p "$OUT"
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)

trap stop_started EXIT
start_virtual_display
start_sound_server
prepare_wineprefix
# Persistent, so that Wine's explorer, and with it the tray, stays up between the
# benchmark programs, as a desktop's shell does.
wineserver -f -p &
STARTED_PIDS+=($!)

echo "Warming up Wine's desktop and tray"
wine "$BUILD/bin/bench_launch.exe" warm-up
echo "In-process benchmarks (about 40 s)"
wine "$BUILD/bin/bench_inprocess.exe" >"$OUT/inprocess.txt"
echo "Start-up, memory, idle and notch-to-pixels benchmarks (about $((STARTS * 7 + IDLE_SECONDS + 45)) s)"
wine "$BUILD/bin/bench_launch.exe" "$STARTS" "$IDLE_SECONDS" >"$OUT/launch.txt"

{
  echo "cpu $(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
  echo "cores $(nproc)"
  echo "memory $(awk '/^MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)"
  echo "kernel $(uname -sr)"
  echo "wine $(wine --version)"
  echo "os $(. /etc/os-release && echo "$PRETTY_NAME")"
  echo "compiler $(i686-w64-mingw32-g++-posix --version | head -1)"
  echo "date $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "load.before $LOAD_BEFORE"
  echo "load.after $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "size.sonalto.exe $(stat -c %s "$BUILD/bin/sonalto.exe")"
  echo "size.morvask.dll $(stat -c %s "$BUILD/bin/morvask.dll")"
  echo "size.bench_minimal.exe $(stat -c %s "$BUILD/bin/bench_minimal.exe")"
} >"$OUT/machine.txt"

stop_started
trap - EXIT
python3 "$BENCH/report.py" "$OUT" "$STARTS" "$IDLE_SECONDS" >"$BENCH/RESULTS.md"
echo "Results written to $BENCH/RESULTS.md"
