#!/usr/bin/env bash
# Submits a shot as a Slurm array of chunks of smooth-shot.sbatch, one task per chunk:
#
#   submit-shot.sh 'shot.####.png' 1-240 smoothed/ [sbatch options] [-- tovrin-smooth options]
#
# FRAMES_PER_CHUNK (default 12) sets the chunk, REPORT_DIR the report folder and TOVRIN_SMOOTH
# the program; they are read here and handed to every task on its command line, so that they
# reach the tasks whatever sbatch exports (--export=NONE too). The job id is printed.
# Submitting the same shot again after a cancel or a failure redoes only the frames that are
# missing.
set -euo pipefail

[ $# -ge 3 ] || {
    echo "usage: submit-shot.sh PATTERN FIRST-LAST OUT_DIR [SBATCH OPTIONS] [-- OPTIONS]" >&2
    exit 2
}
pattern=$1 range=$2 out_dir=$3
shift 3
sbatch_options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    sbatch_options+=("$1")
    shift
done
[ $# -gt 0 ] && shift
[[ $range =~ ^([0-9]+)-([0-9]+)$ ]] || {
    echo "submit-shot: the frame range '$range' is not FIRST-LAST" >&2
    exit 2
}
first=$((10#${BASH_REMATCH[1]}))
last=$((10#${BASH_REMATCH[2]}))
chunk=${FRAMES_PER_CHUNK:-12}
[ "$last" -ge "$first" ] && [[ $chunk =~ ^[1-9][0-9]*$ ]] || {
    echo "submit-shot: the range must not end before it starts, and FRAMES_PER_CHUNK be 1 or more" >&2
    exit 2
}
tasks=$(((last - first) / chunk + 1))
task_options=(--chunk "$chunk")
if [ -n "${REPORT_DIR:-}" ]; then task_options+=(--report-dir "$REPORT_DIR"); fi
if [ -n "${TOVRIN_SMOOTH:-}" ]; then task_options+=(--program "$TOVRIN_SMOOTH"); fi
exec sbatch --parsable --array="0-$((tasks - 1))" "${sbatch_options[@]}" \
    "$(dirname "$0")/smooth-shot.sbatch" "${task_options[@]}" "$pattern" "$range" "$out_dir" "$@"
