#!/usr/bin/env bash
# A shot on a real Slurm cluster: a one-node cluster (munged, slurmctld, slurmd) started here on
# localhost with its own key, configuration, ports and folders; a 96-frame shot submitted as an
# array of 8 chunks with scripts/farm, cancelled part-way, resubmitted. The frames must be
# exactly those of one local run, whole, with no temporary left, and the chunks' reports must
# agree with what was done. Then a 29-frame shot in chunks of 20 under sbatch --export=NONE,
# which must reach every frame; an array sized for another chunk, whose tasks must refuse to
# run; and one task requeued, which must keep its earlier attempt's report beside its own.
# Every daemon started here is stopped by its PID, also on failure.
#
#   farm_slurm_test.sh TOVRIN_SMOOTH MAKE_SHOT FARM_SCRIPTS_FOLDER
set -euo pipefail

smooth=$(realpath "$1")
make_shot=$(realpath "$2")
farm=$(realpath "$3")
frames=96
chunk=12
python=/usr/bin/python3

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
for program in munged mungekey slurmctld slurmd sbatch squeue scancel sinfo "$python"; do
    command -v "$program" > /dev/null || fail "$program is missing: bash scripts/install-deps.sh installs it"
done
[ "$(id -u)" -eq 0 ] || fail "the test cluster's daemons run as root: run this test as root"

work=$(mktemp -d /tmp/tovrin-farm-XXXXXX)
daemon_pids=()
show_logs() {
    for log in "$work"/munge/munged.log "$work"/slurmctld.log "$work"/slurmd.log; do
        [ -f "$log" ] && { echo "---- $log"; tail -n 60 "$log"; }
    done
    for log in "$work"/logs/*; do
        [ -f "$log" ] && [ -s "$log" ] && { echo "---- $log"; cat "$log"; }
    done
    return 0
}
cleanup() {
    local status=$?
    if [ "$status" -ne 0 ]; then
        echo "== the cluster's logs" >&2
        show_logs >&2
    fi
    # Jobs first, so that slurmd is not stopped under running steps; then the daemons, newest
    # first, each by the PID it was started with.
    if [ -n "${SLURM_CONF:-}" ] && [ ${#daemon_pids[@]} -gt 0 ]; then
        timeout 10 scancel --quiet --user=root 2> /dev/null || true
        for _ in $(seq 50); do
            [ -z "$(timeout 5 squeue -h -o %i 2> /dev/null)" ] && break
            sleep 0.2
        done
    fi
    for ((i = ${#daemon_pids[@]} - 1; i >= 0; --i)); do
        kill "${daemon_pids[i]}" 2> /dev/null || true
        for _ in $(seq 50); do
            kill -0 "${daemon_pids[i]}" 2> /dev/null || break
            sleep 0.1
        done
        kill -KILL "${daemon_pids[i]}" 2> /dev/null || true
        wait "${daemon_pids[i]}" 2> /dev/null || true
    done
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Two free TCP ports, away from Slurm's defaults so a real cluster on the machine is not
# disturbed.
port_in_use() {
    local hex
    hex=$(printf ':%04X ' "$1")
    grep -q "$hex" /proc/net/tcp /proc/net/tcp6 2> /dev/null
}
pick_port() {
    local port
    for _ in $(seq 200); do
        port=$((20000 + RANDOM % 20000))
        if ! port_in_use "$port" && [ "$port" != "${1:-}" ]; then
            echo "$port"
            return
        fi
    done
    fail "no free TCP port found"
}
ctld_port=$(pick_port)
slurmd_port=$(pick_port "$ctld_port")

echo "== starting munged, slurmctld and slurmd in $work"
mkdir -p "$work"/munge "$work"/state "$work"/spool "$work"/logs "$work"/shot
chmod 755 "$work"/munge
mungekey --create --keyfile="$work/munge/munge.key"
# --force: munged refuses root's ownership of a folder outside /etc otherwise.
munged --foreground --force --socket="$work/munge/socket" --key-file="$work/munge/munge.key" \
    --log-file="$work/munge/munged.log" --pid-file="$work/munge/munged.pid" \
    --seed-file="$work/munge/seed" > "$work/logs/munged.out" 2>&1 &
daemon_pids+=($!)
for _ in $(seq 100); do
    [ -S "$work/munge/socket" ] && break
    sleep 0.1
done
[ -S "$work/munge/socket" ] || fail "munged did not start"

node=$(hostname -s)
cpus=$(nproc)
# Two tasks at a time at most, so that the cancel below comes part-way on any machine.
[ "$cpus" -gt 2 ] && cpus=2
cat > "$work/slurm.conf" << EOF
ClusterName=tovrintest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
MailProg=/bin/true
ReturnToService=2
SlurmdParameters=config_overrides
KillWait=20
MinJobAge=600
NodeName=$node NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=farm Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$work/slurm.conf
slurmctld -D > "$work/logs/slurmctld.out" 2>&1 &
daemon_pids+=($!)
slurmd -D -N "$node" > "$work/logs/slurmd.out" 2>&1 &
daemon_pids+=($!)

up=no
for _ in $(seq 150); do
    for pid in "${daemon_pids[@]}"; do
        kill -0 "$pid" 2> /dev/null || fail "a daemon (PID $pid) ended while starting"
    done
    if [ "$(timeout 5 sinfo -h -N -n "$node" -o %T 2> /dev/null)" = idle ]; then
        up=yes
        break
    fi
    sleep 0.2
done
[ "$up" = yes ] || fail "the node did not come up idle within 30 s: $(timeout 5 sinfo 2>&1 || true)"
echo "node $node idle, $cpus CPUs, ports $ctld_port and $slurmd_port"

echo "== a shot of $frames frames, and its local single-process run"
"$make_shot" "$work/shot" "$frames" 640 480
"$smooth" "$work/shot/shot.####.png" --frames "1-$frames" --out-dir "$work/local" --jobs 1 --quiet

cd "$work"
submit() {
    FRAMES_PER_CHUNK=$chunk TOVRIN_SMOOTH=$smooth REPORT_DIR=$work/reports \
        bash "$farm/submit-shot.sh" "$work/shot/shot.####.png" "1-$frames" "$work/out" \
        --output="$work/logs/%A_%a.log"
}
wait_until_gone() {
    for _ in $(seq 600); do
        [ -z "$(squeue -h -j "$1" -o %i 2> /dev/null)" ] && return 0
        sleep 0.2
    done
    fail "job $1 still in the queue after 120 s: $(squeue 2>&1)"
}
frames_done() {
    find "$work/out" -maxdepth 1 -name 'shot.*.png' 2> /dev/null | wc -l
}

echo "== submitting, cancelling part-way"
first_job=$(submit)
for _ in $(seq 3000); do
    [ "$(frames_done)" -gt 0 ] && break
    sleep 0.02
done
[ "$(frames_done)" -gt 0 ] || fail "no frame appeared within 60 s"
scancel "$first_job"
wait_until_gone "$first_job"
done_at_cancel=$(frames_done)
echo "$done_at_cancel of $frames frames were done when the array was cancelled"
[ "$done_at_cancel" -lt "$frames" ] || fail "the array finished before the cancel: nothing to resume"
ls -A "$work/out" | sort > "$work/done-at-cancel"

echo "== resubmitting"
second_job=$(submit)
wait_until_gone "$second_job"

echo "== checking"
"$python" - "$work" "$frames" "$chunk" "$first_job" "$second_job" << 'EOF'
import json, os, sys, filecmp

work, frames, chunk, first_job, second_job = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
problems = []
out, local = os.path.join(work, "out"), os.path.join(work, "local")
names = ["shot.%04d.png" % f for f in range(1, frames + 1)]

# Every frame whole and the same as the local run; nothing else in the folder.
present = sorted(os.listdir(out))
if present != names:
    problems.append("the output folder holds %s, not the %d frames" % (
        sorted(set(present) ^ set(names))[:10], frames))
for name in names:
    if os.path.exists(os.path.join(out, name)) and not filecmp.cmp(
            os.path.join(out, name), os.path.join(local, name), shallow=False):
        problems.append(name + " differs from the local run")

done_at_cancel = set(open(os.path.join(work, "done-at-cancel")).read().split())
if any(n.startswith(".") for n in done_at_cancel):
    problems.append("temporaries were left by the cancel: %s" % sorted(done_at_cancel)[:5])

reports = {}
for entry in sorted(os.listdir(os.path.join(work, "reports"))):
    if entry.startswith("."):
        problems.append("temporary report left: " + entry)
        continue
    job = entry.rsplit(".", 2)[1]
    with open(os.path.join(work, "reports", entry)) as f:
        reports.setdefault(job, []).append((entry, json.load(f)))

def check_totals(entry, report):
    totals, listed = report["totals"], report["frames"]
    for status, key in [("smoothed", "smoothed"), ("skipped", "skipped"), ("failed", "failed"),
                        ("not-started", "not_started")]:
        if totals[key] != sum(1 for f in listed if f["status"] == status):
            problems.append("%s: totals.%s disagrees with its frames" % (entry, key))
    if totals["frames"] != len(listed):
        problems.append(entry + ": totals.frames disagrees with its frames")

# The cancelled attempt: what its reports call smoothed was written; a chunk stopped by the
# cancel says so; a frame listed as not started was not written by that chunk.
for entry, report in reports.get(first_job, []):
    check_totals(entry, report)
    for f in report["frames"]:
        name = os.path.basename(f["input"])
        if f["status"] == "smoothed" and name not in done_at_cancel:
            problems.append("%s: %s reported smoothed but missing after the cancel" % (entry, name))
        if f["status"] == "not-started" and name in done_at_cancel:
            problems.append("%s: %s reported not started but written" % (entry, name))
        if f["status"] in ("failed", "skipped"):
            problems.append("%s: %s %s: %s" % (entry, name, f["status"], f["error"]))
    if report["interrupted"] != (report["exit_status"] == 130):
        problems.append(entry + ": interrupted and exit_status disagree")

# The resubmission: every frame in exactly one chunk; skipped exactly when it was done before.
second = reports.get(second_job, [])
if len(second) != frames // chunk:
    problems.append("%d reports from the resubmission, not %d" % (len(second), frames // chunk))
seen = {}
for entry, report in second:
    check_totals(entry, report)
    if report["exit_status"] != 0 or report["interrupted"]:
        problems.append(entry + ": exit_status %s" % report["exit_status"])
    for f in report["frames"]:
        name = os.path.basename(f["input"])
        seen[name] = seen.get(name, 0) + 1
        expected = "skipped" if name in done_at_cancel else "smoothed"
        if f["status"] != expected:
            problems.append("%s: %s is %s, expected %s" % (entry, name, f["status"], expected))
if sorted(seen) != names or any(count != 1 for count in seen.values()):
    problems.append("the resubmission's chunks do not cover each frame once")

interrupted = sum(1 for _, r in reports.get(first_job, []) if r["interrupted"])
print("cancelled attempt: %d chunk reports, %d of them interrupted; resubmission: %d reports, "
      "%d frames skipped, %d smoothed" % (
          len(reports.get(first_job, [])), interrupted, len(second),
          sum(r["totals"]["skipped"] for _, r in second),
          sum(r["totals"]["smoothed"] for _, r in second)))
for p in problems:
    print("FAIL:", p)
sys.exit(1 if problems else 0)
EOF

echo "== sbatch --export=NONE: 29 frames in chunks of 20, the settings on the tasks' command lines"
mkdir -p "$work/shot2"
"$make_shot" "$work/shot2" 29 320 240
"$smooth" "$work/shot2/shot.####.png" --frames 1-29 --out-dir "$work/local2" --jobs 1 --quiet
export_none_job=$(FRAMES_PER_CHUNK=20 TOVRIN_SMOOTH=$smooth REPORT_DIR=$work/reports2 \
    bash "$farm/submit-shot.sh" "$work/shot2/shot.####.png" 1-29 "$work/out2" --export=NONE \
    --output="$work/logs/%A_%a.log")
wait_until_gone "$export_none_job"
diff -r "$work/local2" "$work/out2" > /dev/null ||
    fail "under --export=NONE the frames are not those of the local run: $(diff -rq "$work/local2" "$work/out2" | head -5)"

echo "== an array sized for chunks of 20, its tasks told nothing: they refuse to run"
misfit_job=$(FRAMES_PER_CHUNK=20 sbatch --parsable --export=NONE --array=0-1 \
    --output="$work/logs/misfit-%A_%a.log" "$farm/smooth-shot.sbatch" --program "$smooth" \
    "$work/shot2/shot.####.png" 1-29 "$work/out3")
wait_until_gone "$misfit_job"
[ ! -e "$work/out3" ] || fail "tasks of a misfit array wrote $(ls "$work/out3" | head -3)"
codes=$(scontrol show job "$misfit_job" | grep -o 'ExitCode=[0-9]*' | sort -u | tr '\n' ' ')
[ "$codes" = "ExitCode=2 " ] || fail "the misfit array's tasks ended with $codes, not 2"
grep -q "sized for another chunk" "$work/logs/misfit-${misfit_job}_1.log" ||
    fail "the misfit task did not say why: $(cat "$work/logs/misfit-${misfit_job}_1.log")"

echo "== task 1 requeued after frame 27 was lost: the earlier attempt's report stays"
rm "$work/out2/shot.0027.png"
scontrol requeue "${export_none_job}_1"
# Slurm holds a requeued job back a little before it may start again.
scontrol update JobId="${export_none_job}_1" StartTime=now 2> /dev/null || true
wait_until_gone "${export_none_job}_1"
cmp -s "$work/local2/shot.0027.png" "$work/out2/shot.0027.png" ||
    fail "the requeued task did not smooth frame 27 again"
"$python" - "$work/reports2" "$export_none_job" << 'EOF'
import json, os, sys

folder, job = sys.argv[1], sys.argv[2]
expected = {
    "chunk-000001-000020.%s.json" % job: {"smoothed": 20, "skipped": 0},
    "chunk-000021-000029.%s.json" % job: {"smoothed": 9, "skipped": 0},
    "chunk-000021-000029.%s.restart1.json" % job: {"smoothed": 1, "skipped": 8},
}
present = sorted(os.listdir(folder))
problems = [] if present == sorted(expected) else ["the reports are %s" % present]
for name, totals in expected.items():
    if name in present:
        report = json.load(open(os.path.join(folder, name)))
        got = {key: report["totals"][key] for key in totals}
        if got != totals or report["exit_status"] != 0:
            problems.append("%s: %s, exit status %s" % (name, got, report["exit_status"]))
for p in problems:
    print("FAIL:", p)
sys.exit(1 if problems else 0)
EOF
echo "PASS"
