#!/usr/bin/env bash
# Several units at once: one run of `corvane --run` saving 64 KiB as Intel HEX from one
# corvane-unit at 115200 bit/s, then the same run on three units in parallel. Prints both times and
# their ratio (the goal: three units take at most 1.2 times one).
#   bench/bench_units.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
units=()
cleanup() {
    for pid in "${units[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Starts a unit; its terminal's path goes to the variable named by $1.
start_unit() {
    local fifo="$work/unit$RANDOM"
    mkfifo "$fifo"
    "$build/corvane-unit" --speed 115200 >"$fifo" &
    units+=($!)
    read -r "$1" <"$fifo"
}
start_unit a
start_unit b
start_unit c

printf 'SH%s/out.hex,0,FFFF,0\r\n' "$work" >"$work/save.txt"
run() {
    local start end
    start=$(date +%s.%N)
    "$build/corvane" --run "$work/save.txt" --speed 115200 --no-journal "$@" >"$work/log" 2>&1
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }' 
}
one=$(run --port "$a")
three=$(run --port "$a" --port "$b" --port "$c")
awk -v one="$one" -v three="$three" 'BEGIN {
    printf "one unit:    %.2f s\nthree units: %.2f s\nratio:       %.2f\n", one, three, three / one }' 
