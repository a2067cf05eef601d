# Sourced first by the scripts people run: strict mode, and on any failure one
# line on stderr naming what failed, its status and where, so that no script
# ends with a bare exit status. A failure inside $(...), a pipeline or a
# function is named by the line that ran it, in the shell the script runs in.
set -Eeuo pipefail

_ethbox_report_failure() {
    local status=$1 command=$2 file=${BASH_SOURCE[1]} line=${BASH_LINENO[0]} text where
    ((BASHPID == $$)) || return 0
    where="${file#"${_ethbox_report_root}/"} line $line"
    if [[ ${FUNCNAME[1]:-main} != main ]]; then
        where+=", in ${FUNCNAME[1]}"
    fi
    # The line as written says more than the command bash ran last (after a
    # function that failed, that is its "return 1").
    text=$(sed -n "${line}{s/^[[:space:]]*//;p}" "$file" 2>/dev/null) || true
    if [[ -z "$text" ]]; then
        text=$command
    elif [[ "$command" != return* && "${text//[[:space:]]/}" != *"${command//[[:space:]]/}"* ]]; then
        text+="  [running: $command]"
    fi
    echo "$(basename "$0"): failed with status $status at $where: $text" >&2
}
_ethbox_report_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
trap '_ethbox_report_failure $? "$BASH_COMMAND"' ERR
