#!/usr/bin/env bash
# Builds and runs the benchmarks (none of them is a test):
#   idle   time to the window shown, CPU use while idle, while waiting out a long reply, under
#          endless noise (emulated and on a pseudo-terminal) and a TCP flood during a purge
#          (journal on; --without-journal to compare)
#   dump   buffer dump through the emulated unit, paced at 38400 bit/s and unpaced
#   files  loads and saves in the three formats, paced and unpaced, with CPU time and peak memory
#   buffer a buffer range read into memory at 921600 bit/s against the line's rate, a 1 MiB
#          comparison with an Intel HEX file
#   buffer_window  the buffer window with 1 MiB: time to show, scrolling, peak memory
#   records        the records reader and writer on 1 MiB images
# With no name all run; further arguments go to the benchmark (e.g. idle --seconds 20).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${CORVANE_BUILD_DIR:-build}
if [ ! -f "$build_dir/build.ninja" ] && [ ! -f "$build_dir/Makefile" ]; then
    scripts/build.sh
fi
names=(idle dump files buffer buffer_window records)
if [ $# -gt 0 ] && [[ " ${names[*]} " == *" $1 "* ]]; then
    names=("$1")
    shift
fi
for name in "${names[@]}"; do
    cmake --build "$build_dir" --target "bench_$name" >/dev/null
    echo "== bench_$name"
    if [ "$name" = idle ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] \
        && command -v xvfb-run >/dev/null; then
        xvfb-run -a -s "-screen 0 1280x1024x24" "$build_dir/bench/bench_$name" "$@"
    else
        QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build_dir/bench/bench_$name" "$@"
    fi
done
