#!/usr/bin/env bash
# Sets up, builds and runs every test (CTest, Qt Test programs on the offscreen platform).
# CORVANE_CTEST_ARGS adds arguments to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build_dir=${CORVANE_BUILD_DIR:-build}
# shellcheck disable=SC2086
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j 2 ${CORVANE_CTEST_ARGS:-}
