#!/usr/bin/env bash
# Configures and builds into ${CORVANE_BUILD_DIR:-build}.
#   CORVANE_WERROR=ON|OFF    warnings as errors (default ON)
#   CORVANE_SANITIZE=ON|OFF  AddressSanitizer + UndefinedBehaviorSanitizer (default OFF)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${CORVANE_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja \
    -DCMAKE_BUILD_TYPE=${CORVANE_BUILD_TYPE:-RelWithDebInfo} \
    -DCORVANE_WERROR=${CORVANE_WERROR:-ON} \
    -DCORVANE_SANITIZE=${CORVANE_SANITIZE:-OFF} >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
