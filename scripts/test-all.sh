#!/usr/bin/env bash
# Every test: native unit, reference, command-line, library, Python, Krita and training tests;
# the engine, the high-quality pass and the C interface under AddressSanitizer and
# UndefinedBehaviorSanitizer; tovrin-smooth's file path fuzzed for a minute under both; the
# engine, the high-quality pass, the plug-in, tovrin-smooth.exe and tovrin.dll built with
# mingw-w64 and run under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build-all.sh
jobs=$(nproc)

echo "== native tests"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== engine, high-quality pass and C interface under sanitizers"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVRIN_SANITIZE=ON \
    -DTOVRIN_BUILD_CLI=OFF
cmake --build build-sanitize -j "$jobs"
ctest --test-dir build-sanitize --output-on-failure -L 'engine|library|coverage' -j "$jobs"

echo "== tovrin-smooth's decode-and-smooth path under libFuzzer, ASan and UBSan (60 s)"
bash scripts/fuzz.sh 60

echo "== Windows build under wine"
export WINEPREFIX="${WINEPREFIX:-$PWD/build-mingw/wineprefix}" WINEDEBUG=-all
bash tests/wine/prepare-prefix.sh
ctest --test-dir build-mingw --output-on-failure
