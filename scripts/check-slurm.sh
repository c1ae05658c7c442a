#!/usr/bin/env bash
# Runs docs/slurm-array.sh, the file users submit, on a real Slurm: one node on localhost
# (munged, slurmctld, slurmd with a configuration of their own in a temporary folder), an
# array of 4 tasks of 1 CPU each over a synthesized folder of 12-bit series whose names
# collide (scan1.orx frame 1 and scan11.orx frame 0 both want scan11.tiff). Checks that the
# union of the parts is byte for byte one convert of the whole folder, that each task ran
# on the one core Slurm gave it (its report's "jobs"), and that `report merge` of the parts
# prints and exits as the whole run did. The daemons stop on exit, whatever happened.
#   scripts/check-slurm.sh [BUILD]      (BUILD: the build folder, build by default)
# Exit status: 0 passed, 1 failed, 77 skipped (the reason is printed: no root, the packages
# cannot be installed, the daemons cannot start here).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$(realpath "$build/src/cli/quillfen-cli" 2>/dev/null || true)
skip() { echo "check-slurm: skipped: $*" >&2; exit 77; }
fail() { echo "check-slurm: FAILED: $*" >&2; exit 1; }

[ -x "$cli" ] || fail "no $build/src/cli/quillfen-cli (make build first)"
# munged and the daemons run as root here, as slurmd must to start tasks.
[ "$(id -u)" -eq 0 ] || skip "needs root (slurmd starts the tasks; munged's key is root's)"
QUILLFEN_SLURM=1 scripts/install-deps.sh || skip "slurm-wlm and munge could not be installed"

tmp=$(mktemp -d)
pids=()
stop_daemons() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
    rm -rf "$tmp"
}
trap stop_daemons EXIT
daemon_log() { for f in "$tmp"/log/*.log; do echo "--- $f"; tail -n 20 "$f"; done >&2; }

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
mkdir -p "$tmp"/{munge,log,state,spool,data,jobs}
chmod 700 "$tmp/munge"

# munge: a key of our own and a socket in the temporary folder.
dd if=/dev/urandom of="$tmp/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$tmp/munge/munge.key"
socket=$tmp/munge/munge.socket
munged --key-file="$tmp/munge/munge.key" --socket="$socket" --pid-file="$tmp/munge/munged.pid" \
       --log-file="$tmp/log/munged.log" --seed-file="$tmp/munge/seed" --force --foreground \
       >>"$tmp/log/munged.out.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || { daemon_log; skip "munged did not start"; }

cores=$(nproc)
cat >"$tmp/slurm.conf" <<CONF
ClusterName=quillfen-check
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/affinity
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/builtin
SwitchType=switch/none
MpiDefault=none
JobCompType=jobcomp/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
ReturnToService=2
SlurmdTimeout=30
NodeName=quillfen-node NodeHostname=localhost NodeAddr=127.0.0.1 CPUs=$cores State=UNKNOWN
PartitionName=check Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$tmp/slurm.conf

# -i: no state from an earlier run; both in the foreground of their own, so that the trap
# knows their processes.
slurmctld -D -i -f "$SLURM_CONF" >>"$tmp/log/slurmctld.out.log" 2>&1 &
pids+=($!)
slurmd -D -N quillfen-node -f "$SLURM_CONF" >>"$tmp/log/slurmd.out.log" 2>&1 &
pids+=($!)
state=""
for _ in $(seq 100); do
    state=$(sinfo -h -n quillfen-node -o %t 2>/dev/null || true)
    [ "$state" = idle ] && break
    sleep 0.2
done
[ "$state" = idle ] || { daemon_log; skip "the node did not come up (state '${state:-none}')"; }

# A real-looking night: 30 series of 12-bit frames, sizes and frame counts varied; scan1 ...
# scan12 collide on their outputs.
data=$tmp/data
for i in $(seq 1 12); do
    "$cli" synth --bits 12 --width 64 --height 48 --frames $((2 + i % 3)) --seed "$i" "$data/scan$i.orx" >/dev/null
done
for i in $(seq 1 18); do
    "$cli" synth --bits 12 --width $((32 + 8 * (i % 4))) --height 40 --frames $((1 + i % 4)) --seed $((100 + i)) \
        "$data/night_$(printf %03d "$i").orx" >/dev/null
done
cp -a "$data" "$tmp/whole"
whole_report=$tmp/whole.json
set +e
"$cli" convert --kind standardized-tiff --report "$whole_report" "$tmp/whole" 2>"$tmp/whole.err"
whole_status=$?
set -e

cd "$tmp/jobs"
export PATH="$(dirname "$cli"):$PATH"
start=$(date +%s.%N)
# sbatch --wait exits as the worst task did: 1 here, as the whole run (the collisions are
# failures); only its own failure or the time running out fails the check.
set +e
job=$(timeout 60 sbatch --parsable --wait --array=1-4 --cpus-per-task=1 --time=00:05:00 \
          --output="$tmp/jobs/quillfen-%A_%a.log" "$OLDPWD/docs/slurm-array.sh" "$data")
sbatch_status=$?
set -e
job=${job%%;*}
if [ -z "$job" ] || [ "$sbatch_status" = 124 ]; then
    daemon_log
    fail "the array was not submitted or did not end within 60 s (sbatch: $sbatch_status)"
fi
echo "check-slurm: array $job of 4 tasks done in $(python3 -c "import time; print(round(time.time() - $start, 1))") s"
cd "$OLDPWD"

reports=("$tmp"/jobs/quillfen-"${job}"_{1,2,3,4}.json)
for r in "${reports[@]}"; do [ -f "$r" ] || { cat "$tmp"/jobs/*.log >&2; fail "no report $r"; }; done

# Each task on the one core it was given: the affinity said 1, and 1 job ran.
python3 - "${reports[@]}" <<'PY' || fail "a task did not run on the cores Slurm gave it"
import json, sys
for path in sys.argv[1:]:
    jobs = json.load(open(path))["jobs"]
    print(f"check-slurm: {path.rsplit('/', 1)[1]}: jobs {jobs}")
    if jobs["cores_allowed"] != 1 or jobs["ran"] != 1:
        sys.exit(1)
PY

# The union of the parts is the whole run: the same names, the same bytes.
diff -r "$tmp/whole" "$data" >&2 || fail "the parts' outputs differ from one run over the whole folder"
[ "$(find "$data" -name '*.tiff' | wc -l)" -gt 30 ] || fail "too few outputs: $(find "$data" -name '*.tiff' | wc -l)"

# report merge says what the whole run said, the time aside, and exits as it did.
set +e
"$cli" report merge "${reports[@]}" 2>"$tmp/merge.err"
merge_status=$?
set -e
untimed() { sed -E 's/ written in [0-9.]+ s;/ written in T s;/; s#'"$1"'#FOLDER#' "$2"; }
[ "$merge_status" = "$whole_status" ] || fail "report merge exits $merge_status, the whole run $whole_status"
# The merge prints the summary and its hint; the whole run printed its failures before them.
lines=$(wc -l <"$tmp/merge.err")
[ "$lines" -ge 1 ] || fail "report merge printed no summary"
if ! diff <(untimed "$tmp/whole" "$tmp/whole.err" | tail -n "$lines") <(untimed "$data" "$tmp/merge.err") >&2; then
    fail "report merge's summary differs from the whole run's"
fi
sed 's/^/check-slurm: /' "$tmp/merge.err"
echo "check-slurm: passed: 4 tasks of 1 core each wrote what one run writes, collisions included"
