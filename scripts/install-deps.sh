#!/usr/bin/env bash
# Installs what building and testing need on Debian 12. Runs apt-get as root (sudo otherwise).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev googletest libbenchmark-dev
    # OpenImageIO's CMake package refers to the programs of openimageio-tools.
    libpng-dev libopenimageio-dev openimageio-tools
    g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 fonts-wine
    # tovrin-smooth.exe links zlib and libpng statically; libpng is built from Debian's source.
    libz-mingw-w64-dev dpkg-dev
    # The release packages and their tests.
    lintian man-db
    # The command line's report tests parse JSON; the farm test runs a one-node Slurm cluster.
    nlohmann-json3-dev slurm-wlm munge python3
    # The tovrin Python module: built against Debian's own Python, tested with pytest, and
    # installable offline with pip from the source tree.
    python3-dev python3-pybind11 python3-numpy python3-pytest python3-setuptools python3-pip
    python3-venv
    # tovrin-smooth's fault-injection test and fuzz target.
    pngcheck clang libclang-rt-14-dev
    # The synthetic training scenes of the high-quality mode: drawing, flood fills, glyph
    # outlines, and the fonts their text is set in.
    python3-pil python3-scipy python3-fonttools
    fonts-dejavu-core fonts-liberation fonts-urw-base35 fonts-noto-mono
    # Its trainer (a short run is part of the tests); OpenBLAS makes NumPy's and PyTorch's
    # products about ten times faster than the reference BLAS.
    python3-torch libopenblas0-pthread
    # The Krita plug-in's tests, in Krita itself: kritarunner headless, Krita under Xvfb.
    krita python3-pyqt5 xvfb xauth
)

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 install -y -q "${missing[@]}"
fi

bash "$(dirname "$0")/fetch-libpng-source.sh"
