#!/usr/bin/env bash
# CI only: runs docs/sweep-array.slurm on a one-node Slurm cluster started on this machine with the
# commands of README's recipe (an array of shards, then the merge that waits for them), and checks
# that the merged sweep.csv and sweep.json are byte for byte those of one unsharded sweep.
#
# Needs root: it installs slurm-wlm and munge if they are missing and runs munged, slurmctld and
# slurmd itself, each in the foreground of a child process (no systemd, no cgroups), with their
# key, sockets, state and logs in a temporary folder and ports nobody listens on; they are stopped
# whatever happens. The jobs find quobel-cli of build/default (built if missing) on PATH.
#   QUOBEL_SLURM_TASKS    array size (default 3)
#   QUOBEL_SLURM_TIMEOUT  seconds the cluster may take to come up, and the jobs to finish (default 120)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
started=$SECONDS

# Built as the user who runs the script, so that build/default stays theirs.
if [ ! -x build/default/cli/quobel-cli ]; then
    cmake --preset default
    cmake --build build/default --target quobel-cli
fi
if [ "$(id -u)" -ne 0 ]; then
    exec sudo -- env ${QUOBEL_SLURM_TASKS:+QUOBEL_SLURM_TASKS="$QUOBEL_SLURM_TASKS"} \
        ${QUOBEL_SLURM_TIMEOUT:+QUOBEL_SLURM_TIMEOUT="$QUOBEL_SLURM_TIMEOUT"} "$(realpath "$0")" "$@"
fi
tasks=${QUOBEL_SLURM_TASKS:-3}
timeout=${QUOBEL_SLURM_TIMEOUT:-120}
# A small grid and short runs, passed to the tasks as README says: the check is about the jobs,
# not the numbers.
points=12
steps=20000
unset SWEEP_POINTS SWEEP_STEPS
export PATH=$PATH:/usr/sbin:/sbin

missing=()
for package in slurm-wlm munge; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

export PATH=$repo/build/default/cli:$PATH

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quobel-slurm.XXXXXX")
# munged wants every folder above its socket open to all for execute.
chmod 711 "$tmp"
mkdir -p "$tmp"/{munge,state,spool,log,work,direct}
pids=()

show_logs() {
    local log
    for log in "$tmp"/log/* "$tmp"/work/*.log "$tmp"/work/slurm-*.out; do
        [ -s "$log" ] || continue
        # A daemon that opened its log file repeated there what it wrote to standard error.
        [[ $log == *.stderr && -s ${log%.stderr}.log ]] && continue
        echo "---- ${log#"$tmp"/}"
        tail -n 80 "$log"
    done
}
cleanup() {
    local status=$? pid
    trap - EXIT
    # The jobs' steps outlive slurmd: cancel them while the controller still answers.
    if [ -n "${SLURM_CONF:-}" ] && [ -f "$tmp/slurmctld.ready" ]; then
        scancel --quiet --user=root 2>/dev/null || true
        for _ in $(seq 20); do
            [ -z "$(squeue -h 2>/dev/null)" ] && break
            sleep 0.5
        done
    fi
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ "$status" -ne 0 ]; then
        echo "FAILED after $((SECONDS - started)) s; the daemons' and the jobs' logs:"
        show_logs
    fi
    rm -rf "$tmp"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
wait_for() { # what, command...
    local what=$1
    shift
    local deadline=$((SECONDS + timeout))
    local pid
    until "$@"; do
        [ $SECONDS -lt $deadline ] || fail "$what: not within $timeout s"
        for pid in "${pids[@]}"; do
            kill -0 "$pid" 2>/dev/null || fail "$what: a daemon (pid $pid) has exited"
        done
        sleep 0.5
    done
}
free_port() { # a port nobody on this machine listens on, other than those given
    local port
    while :; do
        port=$((20000 + RANDOM % 12000)) # below the ephemeral ports
        [[ " $* " == *" $port "* ]] && continue
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return
        fi
    done
}

# munged: its own key and socket, so that a munged of the machine (if any) is left alone.
socket=$tmp/munge/munge.socket
dd if=/dev/urandom of="$tmp/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$tmp/munge/munge.key"
munged --foreground --socket="$socket" --key-file="$tmp/munge/munge.key" \
    --pid-file="$tmp/munge/munged.pid" --seed-file="$tmp/munge/munged.seed" \
    --log-file="$tmp/log/munged.log" >>"$tmp/log/munged.log" 2>&1 &
pids+=($!)
munge_works() { munge -n -S "$socket" 2>/dev/null | unmunge -S "$socket" >/dev/null 2>&1; }
wait_for "munged" munge_works

host=$(uname -n)
host=${host%%.*}
cpus=$(nproc)
memory=$(($(awk '/^MemTotal:/ { print $2 }' /proc/meminfo) / 1024))
ctld_port=$(free_port)
slurmd_port=$(free_port "$ctld_port")
export SLURM_CONF=$tmp/slurm.conf
cat >"$SLURM_CONF" <<EOF
ClusterName=quobel-ci
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SwitchType=switch/none
MpiDefault=none
MailProg=/bin/true
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/backfill
ReturnToService=2
# Start each job as soon as the one before ends.
SchedulerParameters=batch_sched_delay=0
# A merge whose shards failed is cancelled rather than left waiting.
DependencyParameters=kill_invalid_depend
MinJobAge=600
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=ci Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF

# slurmd loads a cgroup plugin even when nothing uses cgroups, and its default looks for a cgroup
# file system, which a container may not have or not let it use. The cgroup v1 plugin touches
# nothing until a cgroup plugin of proctrack, task or jobacct_gather asks it to, and none does here.
echo "CgroupPlugin=cgroup/v1" >"$tmp/cgroup.conf"

# Standard error holds what they say before their log files are open.
slurmctld -D -i -f "$SLURM_CONF" 2>"$tmp/log/slurmctld.stderr" >&2 &
pids+=($!)
ctld_up() { scontrol ping 2>/dev/null | grep -q 'is UP'; }
wait_for "slurmctld" ctld_up
touch "$tmp/slurmctld.ready"
slurmd -D -f "$SLURM_CONF" -N "$host" 2>"$tmp/log/slurmd.stderr" >&2 &
pids+=($!)
node_idle() { [ "$(sinfo -h -n "$host" -o %T 2>/dev/null)" = idle ]; }
wait_for "node $host idle" node_idle
echo "Slurm is up on $host ($cpus cores) after $((SECONDS - started)) s"

# README's recipe, read from it so that the two cannot drift apart: the code block after "With
# Slurm". Only the array's size differs, and the small grid and the cores are added to its options:
# the header asks for 4 cores a task, and a node with fewer needs its cores on the command line.
recipe=$(awk '/^With Slurm/ { found = 1 } found && /^```/ { if (inside) exit; inside = 1; next }
              inside' README.md)
submit=$(grep '^job=' <<<"$recipe" || true)
dependent=$(grep '^sbatch --dependency' <<<"$recipe" || true)
[[ $submit == *--array=1-32* && -n $dependent ]] ||
    fail "README.md should show the Slurm recipe in a code block after \"With Slurm\", found: $recipe"
options="--array=1-$tasks --export=ALL,SWEEP_POINTS=$points,SWEEP_STEPS=$steps"
[ "$cpus" -lt 4 ] && options+=" --cpus-per-task=$cpus"
submit=${submit/--array=1-32/$options}
mkdir "$tmp/work/docs"
cp docs/sweep-array.slurm "$tmp/work/docs/"
cp tests/data/three_maps.txt "$tmp/work/params.txt"
cp tests/data/three_maps.txt "$tmp/direct/params.txt"
cd "$tmp/work"
job=
echo "$submit"
eval "$submit"
[[ $job =~ ^[0-9]+$ ]] || fail "sbatch --parsable gave \"$job\", not a job id"
echo "$dependent"
merge=$(eval "$dependent")
echo "$merge"
merge=${merge##* } # "Submitted batch job N"
[[ $merge =~ ^[0-9]+$ ]] || fail "no job id from the merge's sbatch"

# Meanwhile the sweep in one go, with the settings of docs/sweep-array.slurm.
(cd "$tmp/direct" && quobel-cli sweep params.txt --vary "la1(1,1)=0.05:0.95:$points" \
    --steps "$steps" --seed 1 --out sweep.csv)

jobs_done() { [ -z "$(squeue -h -j "$job,$merge" 2>/dev/null)" ]; }
wait_for "jobs $job and $merge" jobs_done
state=$(scontrol show job "$merge" | grep -o 'JobState=[A-Z_]*' || true)
[ "$state" = JobState=COMPLETED ] || fail "merge job $merge ended with ${state:-no state}"
for file in sweep.csv sweep.json; do
    [ -f "$file" ] || fail "the merge wrote no $file"
    cmp "$file" "$tmp/direct/$file" || fail "the merged $file differs from the unsharded one" \
        "(are the settings here those of docs/sweep-array.slurm?)"
done
rows=$(($(wc -l <sweep.csv) - 1))
[ "$rows" -eq "$points" ] || fail "sweep.csv holds $rows rows, not $points"
echo "The merge of $tasks Slurm shards equals the unsharded sweep ($rows rows and its settings)" \
    "after $((SECONDS - started)) s"
