#!/usr/bin/env bash
# Sets up, builds and starts the program. The first start leaves a Corvane.INI beside the program
# that chooses the emulated unit (port EMU), so the program connects to it without hardware.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build_dir=${CORVANE_BUILD_DIR:-build}
ini="$build_dir/Corvane.INI"
if [ ! -e "$ini" ]; then
    printf 'EMU\r\n38400\r\n\r\n\r\nTrue\r\nFalse\r\nFalse\r\n\r\n\r\nTrue\r\nFalse\r\nFalse\r\n%s\r\n' \
        "$HOME" >"$ini"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting the program on a virtual X server (xvfb-run)."
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$build_dir/corvane"
fi
exec "$build_dir/corvane"
