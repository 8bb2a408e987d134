#!/usr/bin/env bash
# Puts the source of Debian's libpng, the version the native build links, into external/libpng, so
# that the Windows build compiles the very same library into tovrin-smooth.exe. Run by
# install-deps.sh; does nothing when the source is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

target=external/libpng
if [ -f "$target/png.c" ]; then
    exit 0
fi
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi

# apt-get source needs deb-src entries; mirror the configured binary ones.
if ! grep -rqs '^\(deb-src\|Types:.*deb-src\)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    {
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] && sed -n '/^Types:/,/^$/p' "$f" | sed 's/^Types: *deb$/Types: deb-src/'
            echo
        done
    } | awk 'BEGIN{RS="";ORS="\n\n"} /Types: deb-src/ && /deb\.debian\.org|debian/' >/tmp/tovrin-deb-src.sources
    grep -hs '^deb ' /etc/apt/sources.list | grep -v cdrom | sed 's/^deb /deb-src /' >/tmp/tovrin-deb-src.list || true
    [ -s /tmp/tovrin-deb-src.sources ] &&
        "${sudo[@]}" cp /tmp/tovrin-deb-src.sources /etc/apt/sources.list.d/tovrin-deb-src.sources
    [ -s /tmp/tovrin-deb-src.list ] &&
        "${sudo[@]}" cp /tmp/tovrin-deb-src.list /etc/apt/sources.list.d/tovrin-deb-src.list
    "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 update -q
fi

version=$(dpkg-query -W -f='${Version}' libpng-dev 2>/dev/null || true)
mkdir -p external
work=$(mktemp -d external/.libpng-XXXXXX)
trap 'rm -rf "$work"' EXIT
# The installed version first; a mirror may no longer hold it, nor yet the newest one it lists.
candidates=$( (echo "$version"; apt-cache showsrc libpng1.6 | sed -n 's/^Version: //p' | sort -rV) |
    grep -v '^$' | awk '!seen[$0]++')
for candidate in $candidates; do
    (cd "$work" && apt-get source -q "libpng1.6=$candidate") && break
    echo "fetch-libpng-source: libpng1.6 $candidate is not on the mirror; trying the next version" >&2
    rm -rf "${work:?}"/*
done
unpacked=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
if [ -z "$unpacked" ] || [ ! -f "$unpacked/png.c" ]; then
    echo "fetch-libpng-source: apt-get source libpng1.6 gave no source tree" >&2
    exit 1
fi
rm -rf "$target"
mv "$unpacked" "$target"
echo "libpng source: $target ($(sed -n 's/^#define PNG_LIBPNG_VER_STRING "\(.*\)"/\1/p' "$target/png.h"))"
