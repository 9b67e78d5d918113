#!/usr/bin/env bash
# The bash completion of ostrel-convert (the file given as $1): options, program files and
# folders, and only folders after --output-dir.
set -uo pipefail
source /usr/share/bash-completion/bash_completion || { echo "bash-completion is needed"; exit 1; }
source "$1"
cd "$(mktemp -d)" && trap 'rm -rf "$PWD"' EXIT
mkdir sub && touch a.vlf B.VLF notes.txt

# The completions bash would offer for the line, the cursor at its end, sorted on one line.
offered() {
    COMP_LINE=$1 COMP_POINT=${#1} COMPREPLY=()
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _ostrel_convert ostrel-convert "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' '
}

status=0
expect() {
    local got
    got=$(offered "$1")
    [[ $got == "$2" ]] || { echo "'$1': expected '$2', got '$got'"; status=1; }
}
expect 'ostrel-convert --qu' '--quiet'
expect 'ostrel-convert --ch' '--check'
expect 'ostrel-convert -q ' 'B.VLF a.vlf sub'
expect 'ostrel-convert --output-dir ' 'sub'
expect 'ostrel-convert -i -o ' 'sub'
expect 'ostrel-convert -- -' ''
exit $status
