#!/usr/bin/env bash
# The Windows package as a user meets it: built by cpack from the mingw-w64 build, unpacked, and
# tovrin-smooth.exe run from the unpacked folder under wine; its results must be the Linux
# build's sample for sample.
#
#   zip_package_test.sh MINGW_BUILD_DIR NATIVE_TOVRIN_SMOOTH WINE
set -euo pipefail
build=$(cd "$1" && pwd)
native=$(realpath "$2")
wine=$3
golden=$(cd "$(dirname "$0")/../golden" && pwd)
version=$(sed -n 's/^#define TOVRIN_VERSION_TEXT "\(.*\)"/\1/p' "$(dirname "$0")/../../resources/version.h")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$work" >/dev/null)
zip="$work/packages/Tovrin-Smoother-$version-win64.zip"
[ -f "$zip" ] || { echo "FAIL: no $(basename "$zip") among: $(ls "$work/packages")"; exit 1; }

mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
folder="$work/unpacked/Tovrin-Smoother-$version-win64"
contents=$(cd "$folder" && find . -type f | LC_ALL=C sort | tr '\n' ' ')
[ "$contents" = "./README.txt ./THIRD-PARTY-NOTICES.txt ./Tovrin-Smoother-Krita-$version.zip ./Tovrin_Smoother.8bf ./tovrin-smooth.exe " ] ||
    { echo "FAIL: the archive holds: $contents"; exit 1; }
grep -q "Tovrin Smoother $version" "$folder/README.txt" || { echo "FAIL: README.txt lacks the version"; exit 1; }
grep -q $'\r$' "$folder/README.txt" || { echo "FAIL: README.txt has no CRLF line ends"; exit 1; }
# The Krita plug-in's zip is the one the build packs (Krita's importer is tried on it by krita_zip).
cmp "$folder/Tovrin-Smoother-Krita-$version.zip" "$build/packages/Tovrin-Smoother-Krita-$version.zip" ||
    { echo "FAIL: the Krita plug-in's zip differs from the build's"; exit 1; }

# The same runs with the unpacked .exe and the Linux binary, each in its own folder.
run_both() {
    local name=$1
    shift
    mkdir -p "$work/exe/$name" "$work/linux/$name"
    (cd "$work/exe/$name" && "$wine" "$folder/tovrin-smooth.exe" "$@" -q) ||
        { echo "FAIL: tovrin-smooth.exe $*"; exit 1; }
    (cd "$work/linux/$name" && "$native" "$@" -q)
    for file in $(cd "$work/linux/$name" && ls); do
        idiff "$work/exe/$name/$file" "$work/linux/$name/$file" >/dev/null ||
            { echo "FAIL: $name/$file differs from the Linux build's"; exit 1; }
    done
    echo "same as Linux: $name ($(cd "$work/linux/$name" && ls | tr '\n' ' '))"
}
run_both sample
run_both glyphs "$golden/in/glyphs.png" --key 255,255,255 -o out.png --compare compare.png
run_both art16 "$golden/in/art16_white.png" --smooth-range 8 -o out.png
[ "$("$wine" "$folder/tovrin-smooth.exe" --version | tr -d '\r')" = "tovrin-smooth $version" ] ||
    { echo "FAIL: --version"; exit 1; }
echo "PASS"
