#!/usr/bin/env bash
# The man pages say what the programs' --help says: every command, option,
# medium and fault kind the help names is in the man page, and every option
# the man page names is one the program knows.
# Usage: check-man.sh BIN_DIR MAN_DIR
set -uo pipefail
bin=$1
man=$2
failures=0

fail() {
    echo "check-man: $*" >&2
    failures=$((failures + 1))
}

# The man page as plain words: no font changes, "\-" as "-".
page() {
    sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' -e 's/\\&//g' "$man/$1.1"
}

options() {
    grep -oE '(^|[^[:alnum:]-])--?[a-z][a-z0-9-]*' | sed -E 's/^[^-]*//' | sort -u
}

has_word() {  # has_word TEXT WORD
    grep -qE -- "(^|[^[:alnum:]-])$(printf '%s' "$2" | sed 's/[+.]/\\&/g')([^[:alnum:]-]|\$)" <<<"$1"
}

# check PROGRAM HELP_TEXT WORDS...: the words of the help in the man page,
# and the man page's options in the help.
check() {
    local program=$1 help=$2
    shift 2
    local text
    text=$(page "$program") || { fail "no man page for $program"; return; }
    for word in "$@" $(options <<<"$help"); do
        has_word "$text" "$word" || fail "$program.1 does not mention $word"
    done
    # Example lines of the other programs are theirs to check.
    local own
    own=$(awk -v p="$program" '!($1 ~ /^tessor(-cli|-vdrive)?$/ && $1 != p)' <<<"$text")
    for option in $(options <<<"$own"); do
        has_word "$help" "$option" || fail "$program.1 names $option, which $program --help does not"
    done
}

# tessor-cli: the commands listed by --help, and each command's own help.
help=$("$bin/tessor-cli" --help)
commands=$(sed -n '/^Commands:/,/^$/p' <<<"$help" | grep -E '^  [a-z]' |
    sed -E 's/^  ([a-z-]+(, [a-z-]+)*).*/\1/; s/,//g')
[ -n "$commands" ] || fail "tessor-cli --help lists no commands"
all=$help
for command in $commands; do
    all+=$'\n'$("$bin/tessor-cli" "$command" --help)
done
check tessor-cli "$all" $commands

# tessor-vdrive: commands, media and fault kinds.
help=$("$bin/tessor-vdrive" --help)
commands=$(sed -n '/^Commands/,/^$/p' <<<"$help" | grep -E '^  [a-z]' | awk '{print $1}')
media=$(sed -n 's/^MEDIA: //p' <<<"$help" | tr -d ',')
faults=$(sed -n '/^Fault rules:/,/^$/p' <<<"$help" | grep -E '^  [a-z]' | awk '{print $1}')
[ -n "$commands" ] && [ -n "$media" ] && [ -n "$faults" ] ||
    fail "tessor-vdrive --help lacks its commands, media or fault kinds"
check tessor-vdrive "$help" $commands $media $faults

# tessor, the window program, once it is built.
if [ -x "$bin/tessor" ]; then
    check tessor "$("$bin/tessor" --help)"
else
    echo "check-man: no $bin/tessor yet; its page is not compared"
fi

if [ "$failures" -ne 0 ]; then
    echo "check-man: $failures difference(s)" >&2
    exit 1
fi
echo "check-man: the man pages match the programs' help"
