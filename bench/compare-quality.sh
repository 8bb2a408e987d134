#!/usr/bin/env bash
# Times whole tovrin-smooth runs of --quality high against --quality standard on one 1080p cel,
# side by side in one run: the two commands take turns, and each run's wall time, CPU time (user +
# system) and peak memory (maximum resident set) are taken from the process itself. Prints the
# medians of both and their ratios. The input is the validation corpus's 1080p cel when it is found
# beside the project (or the PNG that TOVRIN_QUALITY_CEL names), else a cel drawn by make_cel_png.
# Both commands run with their default threads and write a PNG at the default compression.
#
#   bash bench/compare-quality.sh [BUILD_DIR] [RUNS]     (defaults: build-bench, 9 of each)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
runs=${2:-9}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVRIN_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target tovrin-smooth make_cel_png >/dev/null
smooth=$PWD/$build/cli/tovrin-smooth

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cel=${TOVRIN_QUALITY_CEL:-../shared/quality-bench/corpus/aliased/cel_scene_1080p.png}
if [ -f "$cel" ]; then
    input=$(realpath "$cel")
else
    input=$work/cel1080.png
    "$PWD/$build/bench/make_cel_png" 1920 1080 3 "$input"
fi

/usr/bin/python3 - "$smooth" "$input" "$work" "$runs" <<'EOF'
import os
import statistics
import struct
import sys
import time

smooth, cel, work, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
qualities = ["standard", "high"]


def run(quality):
    """One whole run: wall seconds, CPU seconds, peak resident memory in MiB."""
    out = os.path.join(work, quality + ".png")
    start = time.perf_counter()
    pid = os.posix_spawn(smooth, [smooth, cel, "-o", out, "-q", "--quality", quality], os.environ)
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("tovrin-smooth --quality %s failed on %s" % (quality, cel))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


with open(cel, "rb") as f:
    width, height = struct.unpack(">II", f.read(24)[16:24])
print("input: %s (%dx%d), %d runs of each, taking turns" % (cel, width, height, runs))
for quality in qualities:  # warm the page cache and the binary
    run(quality)
samples = {quality: [] for quality in qualities}
for _ in range(runs):
    for quality in qualities:
        samples[quality].append(run(quality))

medians = {quality: [statistics.median(column) for column in zip(*samples[quality])]
           for quality in qualities}
print("%-20s %12s %12s %14s" % ("", "wall", "CPU", "peak memory"))
for quality in qualities:
    wall, cpu, memory = medians[quality]
    print("%-20s %10.3f s %10.3f s %10.1f MiB" % ("--quality " + quality, wall, cpu, memory))
ratios = [h / s for h, s in zip(medians["high"], medians["standard"])]
print("%-20s %11.2fx %11.2fx %13.2fx" % ("high / standard", *ratios))
EOF
