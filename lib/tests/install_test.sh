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
exported=$(nm -D --defined-only "$libdir/libtovrin.so" | awk '{print $3}' |
           grep -Ev '^TOVRIN_1(\.[0-9]+)?$' | grep -v '^tovrin_' || true)
if [ -n "$exported" ]; then
    echo "symbols beyond tovrin_*: $exported" >&2
    exit 1
fi

# Each function carries the symbol version of the release that brought it.
versions=$(objdump -T "$libdir/libtovrin.so.1" | awk '$NF ~ /^tovrin_/ {print $NF, $(NF-1)}' |
           sort)
expected="tovrin_options_init TOVRIN_1
tovrin_smooth TOVRIN_1
tovrin_smooth_quality TOVRIN_1.1
tovrin_status_message TOVRIN_1
tovrin_version TOVRIN_1"
if [ "$versions" != "$expected" ]; then
    printf 'symbol versions:\n%s\nexpected:\n%s\n' "$versions" "$expected" >&2
    exit 1
fi

# A program built against the 1.0 library runs with this one. It is linked against a stand-in
# with 1.0's functions under 1.0's version script, so it asks for what a 1.0 build asks for.
old=$work/old-1.0
mkdir "$old"
echo 'TOVRIN_1 { global: tovrin_*; local: *; };' >"$old/tovrin.map"
cat >"$old/stand-in.c" <<'END'
#include <tovrin.h>
void tovrin_options_init(tovrin_options* options) { (void)options; }
tovrin_status tovrin_smooth(int width, int height, tovrin_format format, const void* input,
                            size_t input_stride, void* output, size_t output_stride,
                            const tovrin_options* options) {
    (void)width, (void)height, (void)format, (void)input, (void)input_stride, (void)output,
        (void)output_stride, (void)options;
    return TOVRIN_INTERNAL_ERROR;
}
const char* tovrin_status_message(tovrin_status status) { (void)status; return "stand-in"; }
const char* tovrin_version(void) { return "1.0.0"; }
END
cflags=$(PKG_CONFIG_PATH=$pcdir pkg-config --cflags tovrin)
${CC:-cc} -std=c99 -shared -fPIC $cflags -Wl,-soname,libtovrin.so.1 \
    -Wl,--version-script="$old/tovrin.map" -o "$old/libtovrin.so.1" "$old/stand-in.c"
ln -s libtovrin.so.1 "$old/libtovrin.so"
${CC:-cc} -std=c99 -Wall -Werror $cflags -o "$work/consumer-1.0" "$consumer/consumer.c" \
    -L"$old" -ltovrin
objdump -T "$work/consumer-1.0" | grep -Eq '\(TOVRIN_1\) +tovrin_smooth$'
LD_LIBRARY_PATH=$libdir "$work/consumer-1.0" | grep -q "smoothed"
echo "pkg-config and find_package(Tovrin) builds run; a 1.0 program runs with this library"
