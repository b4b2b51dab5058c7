#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz and runs each on a copy of its
# seed corpus (fuzz/corpus/NAME; new inputs go to a temporary folder, never into the repository).
#   scripts/fuzz.sh [NAME] [SECONDS]   NAME: one target (default: all); SECONDS: per target (20)
# Exits non-zero when any target finds a failure; its input is kept in build-fuzz/findings/NAME/.
# CORVANE_FUZZ_GROW=1 afterwards merges the inputs that reached new code into fuzz/corpus/NAME (the
# corpus is replayed by ctest, so a grown corpus is a regression test; commit it deliberately).
set -euo pipefail
cd "$(dirname "$0")/.."

name=${1:-all}
seconds=${2:-20}
build_dir=build-fuzz
# Every target has its seed corpus folder.
mapfile -t targets < <(find fuzz/corpus -mindepth 1 -maxdepth 1 -type d -printf '%f\n' | sort)
if [ "$name" != all ]; then
    name=${name#fuzz_}
    if [ ! -d "fuzz/corpus/$name" ]; then
        echo "fuzz.sh: no target '$name' (targets: ${targets[*]})" >&2
        exit 2
    fi
    targets=("$name")
fi

scripts/setup.sh
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_FUZZ=ON \
    -DCORVANE_WERROR=OFF -DCORVANE_SANITIZE=OFF >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export QT_QPA_PLATFORM=offscreen

failed=()
for target in "${targets[@]}"; do
    corpus="$work/$target"
    findings="$build_dir/findings/$target"
    mkdir -p "$corpus" "$findings"
    cp -R "fuzz/corpus/$target/." "$corpus/"
    echo "== fuzz_$target: ${seconds} s"
    if "$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" \
        >"$work/$target.log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^Done' "$work/$target.log" || true
        if [ "${CORVANE_FUZZ_GROW:-0}" = 1 ]; then
            "$build_dir/fuzz/fuzz_$target" -merge=1 -max_len=4096 "fuzz/corpus/$target" "$corpus" \
                >"$work/$target.merge.log" 2>&1
            echo "corpus of $target: $(find "fuzz/corpus/$target" -type f | wc -l) inputs"
        fi
    else
        tail -n 60 "$work/$target.log"
        echo "== fuzz_$target FAILED: input kept in $findings/"
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz.sh: findings in: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz.sh: ${#targets[@]} targets ran ${seconds} s each without a finding"
