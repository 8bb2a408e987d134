#!/usr/bin/env bash
# Installs the library of a build tree into a temporary prefix and builds a small C program
# against it twice, through pkg-config and through find_package(Tovrin); both must run.
# Usage: install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR
set -euo pipefail
build=$1
consumer=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" --component library >/dev/null

# Moved after installing: the pkg-config file and the CMake package find their own prefix.
mv "$prefix" "$work/moved"
prefix=$work/moved
pcdir=$(dirname "$(find "$prefix" -name tovrin.pc)")
libdir=$(dirname "$pcdir")
test -L "$libdir/libtovrin.so" && ls "$libdir"/libtovrin.so.[0-9]* >/dev/null

${CC:-cc} -std=c99 -Wall -Werror -o "$work/consumer-pc" "$consumer/consumer.c" \
    $(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs tovrin)
LD_LIBRARY_PATH=$libdir "$work/consumer-pc" | grep -q "smoothed"

cmake -S "$consumer" -B "$work/consumer-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_COMPILER="${CC:-cc}" >/dev/null
cmake --build "$work/consumer-build" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/consumer-build/consumer" | grep -q "smoothed"

# Only the C interface leaves the library.
exported=$(nm -D --defined-only "$libdir/libtovrin.so" | awk '{print $3}' | grep -v '^TOVRIN_1$' |
           grep -v '^tovrin_' || true)
if [ -n "$exported" ]; then
    echo "symbols beyond tovrin_*: $exported" >&2
    exit 1
fi
echo "pkg-config and find_package(Tovrin) builds run"
