# Bash completion for the Orvane commands. The options come from each command's own --help, read
# once per shell, so that they always match the installed programs.

# The options that `COMMAND --help` lists, one per line: those at the start of a line such as
# "  -j, --jobs N   description", up to the gap before the description.
_orvane_help_options()
{
    "$1" --help 2>/dev/null | sed -nE 's/^[[:space:]]+(-[^[:space:]].*)$/\1/p' |
        sed -E 's/[[:space:]]{2,}.*//' | grep -oE -- '(^|[[:space:],])--?[a-zA-Z][a-zA-Z0-9-]*' |
        sed -E 's/^[[:space:],]//' | sort -u
}

_orvane_complete()
{
    local command=${1##*/} cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    # Values of the options that take one; anything else falls back to file names.
    case "$prev" in
    --counting) mapfile -t COMPREPLY < <(compgen -W "classic strict" -- "$cur") ;;
    --bin) mapfile -t COMPREPLY < <(compgen -W "10m 15m 30m 1h 1d" -- "$cur") ;;
    --codec) mapfile -t COMPREPLY < <(compgen -W "h264 mpeg4 mjpeg" -- "$cur") ;;
    --jobs | --from | --to | --size | --fps | -fps | --frames | --insects | --blob | --seed | \
        --line | --area | --sizes | --speeds | --noise | --flicker | --max-running | \
        -p | --partition | -t | --time | -c | --cpus-per-task | --mem | -J | --job-name | \
        -A | --account | --qos | --sbatch) ;;
    *) prev="" ;;
    esac
    # A value of its own (or none to offer) for the option just typed.
    [[ -z "$prev" ]] || return 0
    if [[ "$cur" != -* ]]; then
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        compopt -o filenames 2>/dev/null
        return
    fi

    local cache=_orvane_options_${command//-/_}
    if [[ -z "${!cache:-}" ]]; then
        if [[ "$command" == orvane-mp4wrap ]]; then
            printf -v "$cache" '%s' "-fps -add"
        else
            printf -v "$cache" '%s' "$(_orvane_help_options "$1" | tr '\n' ' ')"
        fi
    fi
    mapfile -t COMPREPLY < <(compgen -W "${!cache}" -- "$cur")
}

# orvane-demo takes no options, and the window none that a shell could complete.
complete -F _orvane_complete orvane-count orvane-activity orvane-import orvane-makevideo \
    orvane-mp4wrap orvane-slurm
