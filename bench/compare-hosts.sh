#!/usr/bin/env bash
# Times whole tovrin-smooth runs against their floors and a reference tool, on cel-like PNGs
# drawn by make_cel_png: a bare libpng decode + encode of the same file (png_roundtrip), GIMP's
# gegl:antialias through the gegl command, --jobs 1 against --jobs 2 on a shot of 24 frames, and
# the peak memory of one frame. Needs hyperfine and gegl (apt-get install hyperfine gegl).
#
#   bash bench/compare-hosts.sh [BUILD_DIR]     (default build-bench, configured as below)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVRIN_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target tovrin-smooth png_roundtrip make_cel_png >/dev/null
smooth=$PWD/$build/cli/tovrin-smooth
roundtrip=$PWD/$build/bench/png_roundtrip
make_cel=$PWD/$build/bench/make_cel_png

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$make_cel" 1920 1080 3 cel1080.png
"$make_cel" 3840 2160 4 cel2160.png
mkdir shot
for i in $(seq 1 24); do "$make_cel" 1920 1080 $((100 + i)) "$(printf 'shot/shot.%04d.png' "$i")"; done

for size in 1080 2160; do
    echo "== cel${size}.png: one frame"
    hyperfine -N -w 2 -r 10 --export-markdown "one${size}.md" \
        -n "libpng decode+encode" "$roundtrip cel$size.png floor.png" \
        -n "tovrin-smooth --threads 1" "$smooth cel$size.png -o t1.png -q --threads 1" \
        -n "tovrin-smooth --threads 2" "$smooth cel$size.png -o t2.png -q --threads 2" \
        -n "gegl:antialias" "gegl cel$size.png -o gegl.png -- gegl:antialias" >/dev/null
    cat "one${size}.md"
    for threads in 1 2; do
        peak=$(/usr/bin/time -f %M "$smooth" "cel$size.png" -o m.png -q --threads "$threads" 2>&1)
        buffers=$(( (size == 1080 ? 1920 * 1080 : 3840 * 2160) * 8 / 1024 ))
        echo "peak memory, --threads $threads: ${peak} KiB; input + output buffers: ${buffers} KiB"
    done
done

echo "== shot of 24 frames at 1080p"
hyperfine -N -w 1 -r 5 --export-markdown shot.md \
    -n "jobs 1" "$smooth shot/shot.####.png --out-dir j1 -q --jobs 1 --threads 1" \
    -n "jobs 2" "$smooth shot/shot.####.png --out-dir j2 -q --jobs 2 --threads 1" >/dev/null
cat shot.md
cmp -s j1/shot.0007.png j2/shot.0007.png && echo "frames identical for --jobs 1 and --jobs 2"
