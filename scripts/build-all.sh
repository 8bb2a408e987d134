#!/usr/bin/env bash
# Builds the native tree (engine, tovrin-smooth, tests) into build/ and the Windows plug-in,
# tovrin-smooth.exe and their tests with mingw-w64 into build-mingw/; then the release packages:
# build/packages/tovrin-smooth_<version>_amd64.deb and
# build-mingw/packages/Tovrin-Smoother-<version>-win64.zip.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVRIN_BUILD_BENCH=ON
cmake --build build -j "$jobs"
cmake -S . -B build-mingw -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTOVRIN_NATIVE_BUILD_DIR="$PWD/build"
cmake --build build-mingw -j "$jobs"
(cd build && cpack -G DEB)
(cd build-mingw && cpack -G ZIP)
