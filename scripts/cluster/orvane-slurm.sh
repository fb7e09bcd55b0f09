#!/usr/bin/env bash
# Submits one Slurm array job that analyses camera folders with orvane-count, one task per
# folder. Each task runs `orvane-count --only-unprocessed FOLDER`, so submitting the same folders
# again after a failure, a cancellation or a time-out analyses only what is still missing.
set -euo pipefail

# Installed, this script is the command orvane-slurm beside orvane-count.
me=${0##*/}

usage() {
    cat <<EOF
Usage: $me [OPTIONS] FOLDER...
       $me [OPTIONS] --folders LIST

Submits one Slurm array job with one task per camera folder. Each task runs
  orvane-count --only-unprocessed FOLDER
on a node of the cluster, so the folders, their videos and orvane-count itself must be on a
file system that every node sees under the same path. The videos of a folder are analysed one
after another in name order with that folder's own regions.

Folders:
  FOLDER...                camera folders (each with its *.mp4 videos and exportCSV)
  --folders LIST           a file naming one folder per line (empty lines and lines starting
                           with # are ignored); may be combined with FOLDER arguments

Passed to sbatch:
  -p, --partition NAME     partition to run in
  -t, --time LIMIT         time limit per task (for example 12:00:00)
  -c, --cpus-per-task N    CPUs per task (2 lets the decoding run beside the analysis)
      --mem SIZE           memory per node (for example 2G)
      --max-running K      at most K tasks of the array at once
  -J, --job-name NAME      job name (default orvane-count)
  -A, --account NAME       account to charge
      --qos NAME           quality of service
  -o, --output PATTERN     log file of each task (default orvane-count-%A_%a.log in the
                           current directory; %A is the job id, %a the task number)
      --sbatch OPTION      any other sbatch option, for example --sbatch=--nice=100
                           (repeatable)

Other options:
      --program PATH       the orvane-count to run (default: \$ORVANE_COUNT, the one
                           installed beside this command, the one built in the source
                           tree of this script, or the one in PATH)
      --dry-run            print the sbatch command and the job script, submit nothing
  -h, --help               show this help

Prints the job id and the commands to follow the job. A task's exit status is that of
orvane-count: 0 all analysed, 1 some video failed (its files could not be written), 2 some
videos skipped (or another run holds the folder), 128+N stopped by signal N.

A task killed without warning (the out-of-memory killer, a node that failed, scancel -s KILL)
leaves the run lock of its folder behind (FOLDER/exportCSV/.orvane-run.lock), and the next
task on that folder is refused with "another analysis run (orvane-count, process P on NODE)".
Once that task is surely gone (squeue shows it no longer), take the folder over with
  orvane-count --break-lock FOLDER...
which says whose lock it removes, then submit the same folders again.
EOF
}

die() {
    echo "$me: $*" >&2
    exit 64
}

folders=()
sbatch_args=()
program=${ORVANE_COUNT:-}
max_running=""
job_name="orvane-count"
output="orvane-count-%A_%a.log"
dry_run=0

add_folder_list() {
    local list=$1 line
    [[ -f "$list" && -r "$list" ]] || die "cannot read the folder list $list"
    while IFS= read -r line || [[ -n "$line" ]]; do
        line=${line%$'\r'}
        [[ -z "${line//[[:space:]]/}" || "$line" == \#* ]] && continue
        folders+=("$line")
    done <"$list"
}

# Options with a value accept both "--name VALUE" and "--name=VALUE".
while [[ $# -gt 0 ]]; do
    arg=$1
    value=""
    if [[ "$arg" == --*=* ]]; then
        value=${arg#*=}
        arg=${arg%%=*}
        set -- "$arg" "$value" "${@:2}"
    fi
    case "$arg" in
    -h | --help)
        usage
        exit 0
        ;;
    --dry-run) dry_run=1 ;;
    --)
        shift
        folders+=("$@")
        break
        ;;
    --folders | -p | --partition | -t | --time | -c | --cpus-per-task | --mem | --max-running | \
        -J | --job-name | -A | --account | --qos | -o | --output | --sbatch | --program)
        [[ $# -ge 2 ]] || die "$arg needs a value"
        value=$2
        shift
        case "$arg" in
        --folders) add_folder_list "$value" ;;
        -p | --partition) sbatch_args+=("--partition=$value") ;;
        -t | --time) sbatch_args+=("--time=$value") ;;
        -c | --cpus-per-task) sbatch_args+=("--cpus-per-task=$value") ;;
        --mem) sbatch_args+=("--mem=$value") ;;
        -A | --account) sbatch_args+=("--account=$value") ;;
        --qos) sbatch_args+=("--qos=$value") ;;
        --sbatch) sbatch_args+=("$value") ;;
        --max-running)
            [[ "$value" =~ ^[1-9][0-9]*$ ]] || die "--max-running needs a positive number"
            max_running=$value
            ;;
        -J | --job-name) job_name=$value ;;
        -o | --output) output=$value ;;
        --program) program=$value ;;
        esac
        ;;
    -*) die "unknown option $arg (pass other sbatch options with --sbatch=OPTION)" ;;
    *) folders+=("$arg") ;;
    esac
    shift
done

[[ ${#folders[@]} -gt 0 ]] || die "no camera folder given (try --help)"

# Every task must find its folder whatever its working directory, so the paths become absolute;
# a folder named twice would give two tasks fighting over one folder.
declare -A seen=()
absolute=()
for folder in "${folders[@]}"; do
    [[ -d "$folder" ]] || die "not a folder: $folder"
    path=$(cd -- "$folder" && pwd -P)
    [[ -z "${seen[$path]:-}" ]] || continue
    seen[$path]=1
    absolute+=("$path")
done

if [[ -z "$program" ]]; then
    here=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd -P)
    if [[ -x "$here/orvane-count" ]]; then
        program="$here/orvane-count"
    elif [[ -x "$here/../../build/bin/orvane-count" ]]; then
        program="$here/../../build/bin/orvane-count"
    else
        program=$(command -v orvane-count || true)
    fi
fi
[[ -n "$program" && -x "$program" && -f "$program" ]] ||
    die "orvane-count not found; install or build Orvane, or name it with --program"
program=$(cd -- "$(dirname -- "$program")" && pwd -P)/$(basename -- "$program")

count=${#absolute[@]}
array="0-$((count - 1))"
[[ -n "$max_running" ]] && array+="%$max_running"

# The job script carries the folder list itself (Slurm copies it to the node), quoted so that
# any folder name reaches orvane-count unchanged. Its variables expand on the node.
# shellcheck disable=SC2016
job_script() {
    echo "#!/usr/bin/env bash"
    echo "folders=("
    local f
    for f in "${absolute[@]}"; do
        printf '    %q\n' "$f"
    done
    echo ")"
    echo 'folder=${folders[$SLURM_ARRAY_TASK_ID]}'
    echo 'echo "orvane-slurm: task $SLURM_ARRAY_TASK_ID on $(hostname): $folder" >&2'
    printf 'exec %q --only-unprocessed -- "$folder"\n' "$program"
}

command=(sbatch --parsable "--array=$array" "--job-name=$job_name" "--output=$output"
    "${sbatch_args[@]}")

if [[ $dry_run -eq 1 ]]; then
    printf '%q ' "${command[@]}"
    echo
    job_script
    exit 0
fi

command -v sbatch >/dev/null || die "sbatch not found: is this a Slurm submit host?"
if ! reply=$(job_script | "${command[@]}"); then
    echo "$me: sbatch refused the job" >&2
    exit 1
fi
job_id=${reply%%;*}
[[ "$job_id" =~ ^[0-9]+$ ]] || {
    echo "$me: sbatch answered '$reply' instead of a job id" >&2
    exit 1
}
log=${output//%A/$job_id}
log=${log//%a/*}
log=${log//%j/*}

echo "Submitted job $job_id: $count folder(s), one task each."
cat <<EOF
Progress:   squeue --job $job_id
Task logs:  tail -f $log
Each task's line in 'sacct -j $job_id' (where accounting is kept) or 'scontrol show job $job_id'
gives its state and exit code. To finish what is missing after a failure or a time-out, run
this script again with the same folders.
EOF
