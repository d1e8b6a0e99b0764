# bash completion for rekkon-cli: commands, each command's options, the values of --format,
# --report-format and --first-char, files for SOURCE and --report, folders for --to.

_rekkon_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # bash splits --option=value at the '=': complete the value of the option before it.
    if [[ $cur == "=" ]]; then
        cur=
    elif [[ $prev == "=" ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    local IFS=$'\n'
    COMPREPLY=()

    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W $'info\nlist\nrecover\ncat\nhelp\n--help\n--version' -- "$cur"))
        return
    fi

    local source_options=$'--partition\n--offset' options
    case ${COMP_WORDS[1]} in
        info) options=$source_options ;;
        cat) options=$'--stream\n'$source_options ;;
        list)
            options=$'--folder\n--format\n--name\n--only\n--deep\n--carve\n--type\n--raw\n'
            options+=$source_options
            ;;
        recover)
            options=$'--to\n--folder\n--first-char\n--long-names\n--keep-folders\n--report\n'
            options+=$'--report-format\n'
            options+=$'--name\n--only\n--allow-same-volume\n--deep\n--carve\n--type\n--raw\n'
            options+=$source_options
            ;;
        *) return ;;
    esac

    case $prev in
        --format)
            COMPREPLY=($(compgen -W $'table\njson\ncsv\nbodyfile\ndfxml' -- "$cur"))
            return
            ;;
        --report-format)
            COMPREPLY=($(compgen -W $'json\ndfxml' -- "$cur"))
            return
            ;;
        --first-char)
            COMPREPLY=($(compgen -W 'auto' -- "$cur"))
            return
            ;;
        --to)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        --report)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return
            ;;
        --folder | --name | --only | --type | --partition | --offset | --stream)
            return # a value of the user's own
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    # SOURCE: a device or an image file.
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
}

complete -F _rekkon_cli rekkon-cli
