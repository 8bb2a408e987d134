#!/usr/bin/env bash
# Fuzzes tovrin-smooth's decode-and-smooth path with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer for a bounded time (default 60 s; first argument to change it).
# Starts from cli/fuzz/corpus and every crash input kept in cli/fuzz/crashes (each must pass
# first); new crash inputs are written to build-fuzz/crashes/ and fail the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTOVRIN_SANITIZE=ON -DTOVRIN_BUILD_TESTS=OFF -DTOVRIN_BUILD_LIBRARY=OFF -DTOVRIN_BUILD_FUZZ=ON
cmake --build build-fuzz -j "$(nproc)" --target decode_smooth_fuzz

fuzzer=build-fuzz/cli/decode_smooth_fuzz
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# The crashes found so far are regression inputs: each runs once and must pass.
if compgen -G "cli/fuzz/crashes/*" >/dev/null; then
    "$fuzzer" cli/fuzz/crashes/*
fi

# New inputs found go to a scratch folder, so the kept corpus stays small.
work=build-fuzz/corpus
mkdir -p "$work" build-fuzz/crashes
"$fuzzer" "$work" cli/fuzz/corpus -max_total_time="$seconds" -max_len=65536 -timeout=20 \
    -rss_limit_mb=2048 -artifact_prefix=build-fuzz/crashes/ -print_final_stats=1
