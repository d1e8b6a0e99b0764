#!/usr/bin/env bash
# rekkon-cli's bash completion, called as bash calls it: COMP_WORDS and COMP_CWORD set, the
# candidates read from COMPREPLY. Every option `rekkon-cli --help` names must be offered.
#
# usage: completion_test.sh COMPLETION_SCRIPT REKKON_CLI
set -uo pipefail
script=$1 cli=$2
# shellcheck source=/dev/null
source "$script"

failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
mkdir cards 'my cards'
touch card.img notes.txt

candidates() {  # candidates WORD...: what completes the last word, sorted, on one line
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _rekkon_cli
    ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' ' -
}
expect() {  # expect WANTED WORD...
    local want=$1 got
    shift
    got=$(candidates "$@")
    [ "$got" = "$want" ] || {
        echo "FAIL: completing '$*': got '$got', want '$want'"
        failures=$((failures + 1))
    }
}

expect "--help --version cat help info list recover" rekkon-cli ""
expect "recover" rekkon-cli re
expect "--folder --format" rekkon-cli list card.img --fo
expect "" rekkon-cli info card.img --fo
expect "--stream" rekkon-cli cat card.img --s
expect "--allow-same-volume" rekkon-cli recover card.img --al
expect "bodyfile csv dfxml json table" rekkon-cli list card.img --format ""
expect "json" rekkon-cli list card.img --format j
expect "json" rekkon-cli list card.img --format = j
expect "auto" rekkon-cli recover card.img --to cards --first-char ""
expect "dfxml" rekkon-cli recover card.img --report-format d
# SOURCE and --report: files and folders; --to: folders only, names with blanks kept whole.
expect "card.img cards" rekkon-cli list ca
expect "cards" rekkon-cli recover card.img --to ca
expect "my cards" rekkon-cli recover card.img --to my
expect "notes.txt" rekkon-cli recover card.img --to cards --report no
expect "" rekkon-cli list card.img --name ""
expect "" rekkon-cli frobnicate --

# Every option of the usage text is offered by the command line or some command.
offered=$( (
    candidates rekkon-cli --
    for command in info cat list recover; do candidates rekkon-cli "$command" card.img --; done
) | tr ' ' '\n' | sort -u)
help=$("$cli" --help) || {
    echo "FAIL: $cli --help failed"
    exit 1
}
for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -qx -- "$option" <<<"$offered" || {
        echo "FAIL: $option of rekkon-cli --help is not completed"
        failures=$((failures + 1))
    }
done

if ((failures == 0)); then
    echo "completion: all checks passed"
fi
exit $((failures != 0))
