#!/usr/bin/env bash
# The bash completion offers what the programs accept: commands, a command's
# options, media names and fault kinds, as read from the programs' --help.
# Usage: check-completion.sh BIN_DIR COMPLETION_FILE
set -uo pipefail
export PATH="$1:$PATH"
export TESSOR_VDRIVE_DIR
TESSOR_VDRIVE_DIR=$(mktemp -d)
trap 'rm -rf "$TESSOR_VDRIVE_DIR"' EXIT
# shellcheck disable=SC1090
source "$2"
failures=0

# expect "WORDS OF THE LINE" "EXPECTED COMPLETIONS": the last word is the
# one being completed.
expect() {
    read -r -a COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    local function
    function=$(complete -p "${COMP_WORDS[0]}" | sed -E 's/.*-F ([^ ]+).*/\1/')
    "$function"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ *$//')
    if [[ $got != "$2" ]]; then
        echo "check-completion: '$1' gave '$got', expected '$2'" >&2
        failures=$((failures + 1))
    fi
}

expect "tessor-cli bu" "burn burn-image"
expect "tessor-cli e" "eject erase"
expect "tessor-cli --v" "--version"
expect "tessor-cli image --no-" "--no-joliet --no-udf"
expect "tessor-cli burn --fin" "--finalize"
expect "tessor-cli erase --f" "--full"
expect "tessor-cli devices --use-aspi --device " "0 1 2 3"
expect "tessor-vdrive ex" "export"
expect "tessor-vdrive insert " "0 1 2 3"
expect "tessor-vdrive insert 1 dvd+" "dvd+r dvd+r-dl dvd+rw"
expect "tessor-vdrive insert 1 bd-r --f" "--from"
expect "tessor-vdrive fault 0 w" "write-error"
expect "tessor-vdrive --dir $TESSOR_VDRIVE_DIR r" "reset"
expect "tessor-vdrive --dir $TESSOR_VDRIVE_DIR fault 0 re" "read-error refuse removed"

if ((failures)); then
    exit 1
fi
echo "check-completion: completions match the programs"
