#!/usr/bin/env bash
# Line and branch coverage of src/ and unit/ by the whole test suite, with clang's source-based
# coverage (GCC's gcov loses the bodies of coroutines). Builds into build-coverage, runs every test
# with a profile per process (corvane-unit and the program started by tests included), and prints
# llvm-cov's report; the summary line is the last one ("TOTAL ...").
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build_dir=build-coverage
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DCORVANE_COVERAGE=ON -DCORVANE_WERROR=OFF -DCORVANE_SANITIZE=OFF >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
profiles="$PWD/$build_dir/profiles"
rm -rf "$profiles"
mkdir -p "$profiles"
LLVM_PROFILE_FILE="$profiles/%p-%m.profraw" QT_QPA_PLATFORM=offscreen \
    ctest --test-dir "$build_dir" -j 2 --output-on-failure
# A run under a file size limit (a test of full disks) may leave a cut profile: skipped.
llvm-profdata-14 merge -sparse --failure-mode=all "$profiles"/*.profraw -o "$build_dir/coverage.profdata"
objects=("$build_dir/corvane" "$build_dir/corvane-unit")
while IFS= read -r test; do
    objects+=(-object "$test")
done < <(find "$build_dir/tests" -maxdepth 1 -type f -name 'tst_*' -perm -u+x | sort)
llvm-cov-14 report "${objects[@]}" -instr-profile="$build_dir/coverage.profdata" \
    -ignore-filename-regex='(/usr/|/tests/|/fuzz/|/bench/|/build[^/]*/)'
