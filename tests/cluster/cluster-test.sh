#!/usr/bin/env bash
# End-to-end test of scripts/cluster/orvane-slurm.sh on a one-node Slurm cluster started here,
# in a temporary folder, for the length of the test:
#
#   tests/cluster/cluster-test.sh [BIN_DIR]      (BIN_DIR: default $ORVANE_BIN_DIR or build/bin)
#
# It installs slurm-wlm and munge when they are missing, starts munged, slurmctld and slurmd
# with a private configuration (own key, socket and free ports, so it touches no cluster of the
# machine and can run beside another copy of itself), submits the script over three generated
# camera folders and compares every file they get with a local orvane-count of the same folder.
# Every process it started is stopped at the end, whatever happens; the test then checks that
# none of them is left. Exit status 0 on success, 1 on a failed check, 77 when it cannot run.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BIN=$(cd "${1:-${ORVANE_BIN_DIR:-$ROOT/build/bin}}" && pwd)
SUBMIT="$ROOT/scripts/cluster/orvane-slurm.sh"
KEEP=${ORVANE_CLUSTER_KEEP:-0} # 1: keep the temporary folder for a look afterwards
START_SECONDS=$SECONDS

say() { echo "cluster-test: $*"; }
fail() {
    printf 'cluster-test: FAILED: %b\n' "$*" >&2
    exit 1
}

for program in orvane-count orvane-makevideo; do
    [[ -x "$BIN/$program" ]] || {
        echo "cluster-test: $BIN/$program is missing; build first" >&2
        exit 77
    }
done

# --- Packages ------------------------------------------------------------------------------

install_missing() {
    local missing=() pkg status
    for pkg in slurm-wlm munge; do
        status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
        [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
    done
    [[ ${#missing[@]} -eq 0 ]] && return 0
    [[ $(id -u) -eq 0 ]] || {
        echo "cluster-test: needs root to install ${missing[*]} and run the daemons" >&2
        exit 77
    }
    say "installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
        {
            apt-get update -qq
            DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
                "${missing[@]}"
        }
}

[[ $(id -u) -eq 0 ]] || {
    echo "cluster-test: needs root (slurmd runs its tasks as root here)" >&2
    exit 77
}
install_missing

# --- The private cluster -------------------------------------------------------------------

T=$(mktemp -d /tmp/orvane-cluster.XXXXXX)
chmod 700 "$T"
mkdir -p "$T"/{state,spool,log,run,munge,logs,cameras,reference}
# Every daemon gets this mark in its environment, and so do slurmstepd and the tasks they
# start: the cleanup finds exactly the processes of this test by it, and nothing else.
MARK="ORVANE_CLUSTER_TEST=$T"
export SLURM_CONF="$T/slurm.conf"
submitted_jobs=()

marked_processes() {
    grep -lsxzF "$MARK" /proc/[0-9]*/environ 2>/dev/null | sed 's|^/proc/\([0-9]*\)/environ$|\1|'
    return 0
}

stop_pid() {
    local pid=$1 i
    kill -TERM "$pid" 2>/dev/null || return 0
    for i in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
}

stop_pid_file() {
    [[ -s "$1" ]] && stop_pid "$(cat "$1")"
    return 0
}

cleanup() {
    local status=$? job pid left
    trap - EXIT INT TERM HUP
    set +e
    say "stopping the cluster"
    for job in "${submitted_jobs[@]}"; do
        scancel "$job" 2>/dev/null
    done
    for _ in $(seq 30); do
        [[ -z "$(squeue -h 2>/dev/null)" ]] && break
        sleep 0.5
    done
    stop_pid_file "$T/run/slurmd.pid"
    stop_pid_file "$T/run/slurmctld.pid"
    stop_pid_file "$T/run/munged.pid"
    for pid in $(marked_processes); do
        stop_pid "$pid"
    done
    left=$(marked_processes)
    if [[ -n "$left" ]]; then
        echo "cluster-test: FAILED: processes left running: $left" >&2
        status=1
    fi
    if [[ $status -ne 0 && -d "$T/log" ]]; then
        echo "--- daemon logs (last lines) ---" >&2
        tail -n 15 "$T"/log/*.log >&2 2>/dev/null
        tail -n 15 "$T"/logs/* >&2 2>/dev/null
    fi
    if [[ "$KEEP" == 1 ]]; then
        say "kept $T"
    else
        rm -rf "$T"
    fi
    say "took $((SECONDS - START_SECONDS)) s"
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

port_free() {
    ! ss -Htln "sport = :$1" 2>/dev/null | grep -q .
}

# Two free consecutive ports, so this cluster never meets another one on the machine.
pick_ports() {
    local port
    for _ in $(seq 100); do
        port=$((20000 + RANDOM % 30000))
        if port_free "$port" && port_free $((port + 1)); then
            echo "$port"
            return 0
        fi
    done
    fail "no free ports"
}

start_munge() {
    dd if=/dev/urandom of="$T/munge/munge.key" bs=1024 count=1 status=none
    chmod 600 "$T/munge/munge.key"
    env "$MARK" munged --force --socket="$T/munge/munge.socket" --key-file="$T/munge/munge.key" \
        --pid-file="$T/run/munged.pid" --log-file="$T/log/munged.log" \
        --seed-file="$T/munge/munged.seed" || fail "munged did not start"
    munge -n --socket="$T/munge/munge.socket" | unmunge --socket="$T/munge/munge.socket" \
        >/dev/null || fail "munge does not work"
}

write_slurm_conf() {
    local host port
    host=$(hostname -s)
    port=$(pick_ports)
    cat >"$SLURM_CONF" <<EOF
ClusterName=orvanetest
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$T/munge/munge.socket
StateSaveLocation=$T/state
SlurmdSpoolDir=$T/spool
SlurmctldPidFile=$T/run/slurmctld.pid
SlurmdPidFile=$T/run/slurmd.pid
SlurmctldLogFile=$T/log/slurmctld.log
SlurmdLogFile=$T/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
SlurmctldPort=$port
SlurmdPort=$((port + 1))
KillWait=5
MinJobAge=600
NodeName=$host NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=debug Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
}

start_slurm() {
    env "$MARK" slurmctld -c -f "$SLURM_CONF" || fail "slurmctld did not start"
    env "$MARK" slurmd -f "$SLURM_CONF" || fail "slurmd did not start"
    for _ in $(seq 60); do
        [[ "$(sinfo -h -o %t 2>/dev/null)" == idle ]] && return 0
        sleep 0.5
    done
    fail "the node did not become idle: $(sinfo 2>&1)"
}

# --- Camera folders ------------------------------------------------------------------------

# A camera folder: copies of one generated video under recording names, and regions of its own
# on the first of them (a counting box at a place of its own, so each folder counts other
# events and a task that used another folder's regions would show).
make_camera() {
    local folder=$1 source=$2 box_left=$3 names=("${@:4}") name
    mkdir -p "$folder/exportCSV"
    for name in "${names[@]}"; do
        cp "$source" "$folder/$name.mp4"
    done
    printf '20,20\n460,20\n460,340\n20,340\n20,20\n' >"$folder/exportCSV/${names[0]}_mask.adv"
    printf '%d,100\n%d,100\n%d,260\n%d,260\n%d,100\n' "$box_left" $((box_left + 160)) \
        $((box_left + 160)) "$box_left" "$box_left" >"$folder/exportCSV/${names[0]}_area.adv"
}

# Same file names and same bytes in the two exportCSV folders; the records of the results
# (NAME_run.json) also tell when and where they were made, so only their counting modes compare.
same_results() {
    local expected=$1/exportCSV actual=$2/exportCSV
    diff <(cd "$expected" && ls -A) <(cd "$actual" && ls -A) >&2 ||
        fail "$2: other files than a local run's"
    local file
    for file in "$expected"/*; do
        if [[ $file == *_run.json ]]; then
            [[ $(grep '"countingMode"' "$file") == $(grep '"countingMode"' "$actual/$(basename "$file")") ]] ||
                fail "$actual/$(basename "$file") names another counting mode than a local run's"
            continue
        fi
        cmp -s "$file" "$actual/$(basename "$file")" ||
            fail "$actual/$(basename "$file") differs from a local run's"
    done
    ls "$expected"/*.csv >/dev/null 2>&1 || fail "$expected: the local run wrote no result file"
}

# --- Jobs ----------------------------------------------------------------------------------

submit() {
    local reply job
    reply=$(cd "$T" && env "$MARK" "$SUBMIT" --program "$BIN/orvane-count" \
        --output "$T/logs/%A_%a.log" --cpus-per-task 1 --time 10:00 "$@") ||
        fail "the submission failed: $reply"
    echo "$reply" >&2
    job=$(sed -n 's/^Submitted job \([0-9][0-9]*\):.*/\1/p' <<<"$reply")
    [[ -n "$job" ]] || fail "no job id in the submission's output"
    grep -q "squeue --job $job" <<<"$reply" || fail "no progress command in the output"
    submitted_jobs+=("$job")
    echo "$job"
}

wait_for_job() {
    local job=$1
    for _ in $(seq 600); do
        [[ -z "$(squeue -h --job "$job" 2>/dev/null)" ]] && return 0
        sleep 0.5
    done
    fail "job $job did not end within five minutes"
}

# "STATE EXIT" of each task of a finished array, as the controller remembers them.
task_states() {
    scontrol -o show job "$1" |
        sed -n 's/.*ArrayTaskId=\([0-9]*\) .*JobState=\([A-Z_]*\) .*ExitCode=\([0-9:]*\).*/\1 \2 \3/p' |
        sort -n
}

expect_all_completed() {
    local job=$1 tasks=$2 states
    states=$(task_states "$job")
    [[ $(grep -c ' COMPLETED 0:0$' <<<"$states") -eq $tasks ]] ||
        fail "job $job: not every task completed with status 0:\n$states"
}

# --- The test ------------------------------------------------------------------------------

say "starting a one-node cluster in $T"
start_munge
write_slurm_conf
start_slurm

say "generating the camera folders"
"$BIN/orvane-makevideo" "$T/source.mp4" --size 480x360 --frames 300 --insects 5 ||
    fail "cannot generate a video"
cameras=("trap-north" "trap south" "trap-east")
boxes=(60 160 260)
for i in 0 1 2; do
    make_camera "$T/cameras/${cameras[$i]}" "$T/source.mp4" "${boxes[$i]}" \
        video_20260601_0900_01 video_20260601_1000_01
done
cp -a "$T/cameras/." "$T/reference/"
for camera in "${cameras[@]}"; do
    "$BIN/orvane-count" --quiet "$T/reference/$camera" >/dev/null ||
        fail "local orvane-count of $camera failed"
done

say "round 1: three folders, one array job"
printf '%s\n' "# camera folders" "$T/cameras/${cameras[0]}" "" >"$T/folders.txt"
job=$(submit --folders "$T/folders.txt" "$T/cameras/${cameras[1]}" "$T/cameras/${cameras[2]}")
wait_for_job "$job"
expect_all_completed "$job" 3
for camera in "${cameras[@]}"; do
    same_results "$T/reference/$camera" "$T/cameras/$camera"
done
say "round 1 passed: every folder matches its local run"

say "round 2: a task cancelled halfway through a video, then the same folders submitted again"
# A long video (the short one eight times over) gives the cancellation time to land mid-video.
for _ in 1 2 3 4 5 6 7 8; do echo "file '$T/source.mp4'"; done >"$T/long.txt"
ffmpeg -v error -f concat -safe 0 -i "$T/long.txt" -c copy "$T/long.mp4" ||
    fail "cannot make the long video"
mkdir -p "$T/cameras2" "$T/reference2"
for i in 0 1; do
    make_camera "$T/cameras2/${cameras[$i]}" "$T/source.mp4" "${boxes[$i]}" \
        video_20260601_0900_01 video_20260601_1000_01
done
make_camera "$T/cameras2/trap-west" "$T/long.mp4" 110 video_20260601_0900_01 video_20260601_1000_01
cp -a "$T/cameras2/trap-west" "$T/reference2/"
"$BIN/orvane-count" --quiet "$T/reference2/trap-west" >/dev/null ||
    fail "local orvane-count of trap-west failed"
round2=("$T/cameras2/${cameras[0]}" "$T/cameras2/${cameras[1]}" "$T/cameras2/trap-west")

job=$(submit "${round2[@]}")
part="$T/cameras2/trap-west/exportCSV/video_20260601_0900_01.csv.part"
for _ in $(seq 600); do
    [[ -s "$part" ]] && break
    sleep 0.1
done
[[ -s "$part" ]] || fail "trap-west's first video never started"
scancel "${job}_2"
wait_for_job "$job"
states=$(task_states "$job")
grep -q '^2 CANCELLED ' <<<"$states" || fail "task 2 was not cancelled:\n$states"
[[ -f "$part" && ! -e "${part%.part}" ]] ||
    fail "the cancelled video should have kept only its .part file: $(ls "$(dirname "$part")")"
say "task 2 cancelled mid-video; submitting the same folders again"

job=$(submit "${round2[@]}")
wait_for_job "$job"
expect_all_completed "$job" 3
for i in 0 1; do
    same_results "$T/reference/${cameras[$i]}" "$T/cameras2/${cameras[$i]}"
done
same_results "$T/reference2/trap-west" "$T/cameras2/trap-west"
say "round 2 passed: the resubmission finished the cancelled folder as a local run does"
