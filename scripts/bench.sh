#!/usr/bin/env bash
# Builds and runs the benchmarks: the time to the window shown and the program's CPU use while idle
# and while waiting out a long reply. Arguments go to bench_idle (--seconds N, --without-timer).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${CORVANE_BUILD_DIR:-build}
if [ ! -f "$build_dir/build.ninja" ] && [ ! -f "$build_dir/Makefile" ]; then
    scripts/build.sh
fi
cmake --build "$build_dir" --target bench_idle
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$build_dir/bench/bench_idle" "$@"
fi
exec "$build_dir/bench/bench_idle" "$@"
