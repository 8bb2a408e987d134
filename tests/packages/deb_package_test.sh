#!/usr/bin/env bash
# The Debian package as a user meets it: built by cpack from the native build, clean under
# lintian, installed with apt-get, tovrin-smooth run from PATH and its man page read, the Krita
# plug-in run by Krita from where the package put it, removed. Installing needs root; otherwise
# the test is skipped.
#
#   deb_package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: installing a package needs root"
    exit 0
fi
if dpkg-query -W -f='${Status}' tovrin-smooth 2>/dev/null | grep -q "install ok installed"; then
    echo "SKIPPED: tovrin-smooth is already installed on this machine; not touching it"
    exit 0
fi

work=$(mktemp -d)
installed=false
cleanup() {
    if $installed; then
        apt-get -o DPkg::Lock::Timeout=900 remove -y -q tovrin-smooth >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >/dev/null)
deb=$(ls "$work"/packages/tovrin-smooth_*_amd64.deb)
version=$(sed -n 's/^#define TOVRIN_VERSION_TEXT "\(.*\)"/\1/p' "$(dirname "$0")/../../resources/version.h")
library_version=$(sed -n 's/^#define TOVRIN_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\).*/\2/p' \
    "$(dirname "$0")/../../lib/tovrin.h" | paste -sd.)
[ "$(basename "$deb")" = "tovrin-smooth_${version}_amd64.deb" ] ||
    { echo "FAIL: package named $(basename "$deb")"; exit 1; }

# The command line, its module, the Krita plug-in and its library, the man page and the docs:
# nothing of the other deliverables.
files=$(dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ {print $6}' | LC_ALL=C sort | tr '\n' ' ')
pykrita=./usr/share/krita/pykrita
expected="./usr/bin/tovrin-smooth ./usr/lib/tovrin-smooth/libtovrin.so.1 \
./usr/lib/tovrin-smooth/libtovrin.so.$library_version ./usr/lib/tovrin-smooth/tovrin_oiio_codec.so \
./usr/share/doc/tovrin-smooth/README.md ./usr/share/doc/tovrin-smooth/changelog.gz \
./usr/share/doc/tovrin-smooth/copyright $pykrita/tovrin_krita.desktop \
$pykrita/tovrin_krita/Manual.html $pykrita/tovrin_krita/__init__.py \
$pykrita/tovrin_krita/dialog.py $pykrita/tovrin_krita/errors.py \
$pykrita/tovrin_krita/extension.py $pykrita/tovrin_krita/layer_smoothing.py \
$pykrita/tovrin_krita/library.py ./usr/share/man/man1/tovrin-smooth.1.gz "
[ "$files" = "$expected" ] || { echo "FAIL: the package holds: $files"; exit 1; }

echo "== lintian"
lintian --tag-display-limit 0 "$deb" | tee "$work/lintian.txt" || true
if grep -qE '^(E|W):' "$work/lintian.txt"; then
    echo "FAIL: lintian reports errors or warnings"
    exit 1
fi
# A private module needs no ldconfig, and a package without maintainer scripts leaves nothing
# behind when removed.
scripts=$(dpkg-deb -I "$deb" | grep -oE '\b(preinst|postinst|prerm|postrm)\b' || true)
[ -z "$scripts" ] || { echo "FAIL: maintainer scripts in the package: $scripts"; exit 1; }

echo "== install"
installed=true
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -q "$deb" >/dev/null
[ "$(command -v tovrin-smooth)" = /usr/bin/tovrin-smooth ] || { echo "FAIL: not on PATH"; exit 1; }
[ "$(tovrin-smooth --version)" = "tovrin-smooth $version" ] || { echo "FAIL: --version"; exit 1; }

echo "== the sample cel, and a TIFF through the installed OpenImageIO module"
mkdir "$work/run"
(cd "$work/run" && tovrin-smooth)
mkdir "$work/native"
(cd "$work/native" && "$build/cli/tovrin-smooth" -q)
for file in tovrin-sample.png tovrin-sample-compare.png; do
    idiff "$work/run/$file" "$work/native/$file" >/dev/null ||
        { echo "FAIL: $file differs from the build's"; exit 1; }
done
# TIFF goes through the module at its installed place.
oiiotool "$work/run/tovrin-sample.png" -o "$work/run/cel.tif"
tovrin-smooth "$work/run/cel.tif" -o "$work/run/cel-smooth.png" -q
"$build/cli/tovrin-smooth" "$work/run/cel.tif" -o "$work/native/cel-smooth.png" -q
tovrin-smooth "$work/run/cel.tif" -o "$work/run/cel-smooth.tif" -q
"$build/cli/tovrin-smooth" "$work/run/cel.tif" -o "$work/native/cel-smooth.tif" -q
for file in cel-smooth.png cel-smooth.tif; do
    idiff "$work/run/$file" "$work/native/$file" >/dev/null ||
        { echo "FAIL: $file differs from the build's"; exit 1; }
done

echo "== the Krita plug-in where Krita finds it, with the package's library"
source=$(cd "$(dirname "$0")/../.." && pwd)
# Debian's Python (Krita's own); as root, it would leave its caches in the package's folder, which
# removing the package then keeps.
export PYTHONDONTWRITEBYTECODE=1
/usr/bin/python3 "$source/krita/tests/run_krita.py" resources --home "$build/krita/home"
/usr/bin/python3 "$source/krita/tests/run_krita.py" installed --home "$build/krita/home" \
    --golden "$source/tests/golden"

echo "== man page"
MANPAGER=cat MANWIDTH=80 man tovrin-smooth 2>/dev/null | grep -q "smooth the aliased line art" ||
    { echo "FAIL: man tovrin-smooth"; exit 1; }

echo "== remove, then purge"
apt-get -o DPkg::Lock::Timeout=900 remove -y -q tovrin-smooth >/dev/null
installed=false
state=$(dpkg-query -W -f='${db:Status-Abbrev}' tovrin-smooth 2>/dev/null || true)
# "rc": removed, but still known to dpkg until purged.
[ -z "${state// /}" ] || [ "${state:0:2}" = un ] ||
    { echo "FAIL: after apt-get remove, dpkg still lists tovrin-smooth as '$state'"; exit 1; }
# Nothing is left to purge: apt no longer knows the package, and dpkg has nothing to do.
dpkg --purge tovrin-smooth >/dev/null 2>&1
for path in /usr/bin/tovrin-smooth /usr/lib/tovrin-smooth /usr/share/doc/tovrin-smooth \
    /usr/share/man/man1/tovrin-smooth.1.gz /usr/share/krita/pykrita/tovrin_krita \
    /var/lib/dpkg/info/tovrin-smooth.list; do
    [ ! -e "$path" ] || { echo "FAIL: $path left behind"; exit 1; }
done
echo "PASS"
