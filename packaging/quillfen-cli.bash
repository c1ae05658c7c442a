# bash completion for quillfen-cli                                    -*- shell-script -*-
#
# A new option goes into its command's list below; an option that takes a value also goes
# into _quillfen_cli_takes_value (and into the `case` below when its values can be listed).

_quillfen_cli_commands="convert watch info synth report"
declare -gA _quillfen_cli_options=(
    [convert]="--kind --settle-ms --quiet --sync --dry-run --output-dir --name-pattern --no-clobber --recursive --salvage --report --shard --jobs --frames --exclude --only-orx --mirror --input-bits --layout --compress --level --predictor --pixel-size --stack --ome --bigtiff --help"
    [watch]="--kind --settle-ms --quiet --sync --output-dir --name-pattern --no-clobber --recursive --salvage --report --jobs --frames --exclude --only-orx --mirror --input-bits --layout --compress --level --predictor --pixel-size --stack --ome --bigtiff --poll --settle-time --give-up-after --poll-only --once --help"
    [info]="--stats --recursive --only-orx --help"
    [synth]="--width --height --frames --half --bits --seed --force --help"
    [report]="--help"
)
_quillfen_cli_takes_value="-k -o -j --kind --settle-ms --output-dir --name-pattern --report --shard --jobs --exclude --input-bits --layout --compress --level --pixel-size --width --height --frames --bits --seed --poll --settle-time --give-up-after"
_quillfen_cli_kinds="normalized-tiff standardized-tiff grayscale-bmp color-bmp colour-bmp"

_quillfen_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ " $_quillfen_cli_commands " == *" ${COMP_WORDS[i]} "* ]]; then
            command=${COMP_WORDS[i]}
            break
        fi
    done

    # --kind=VALUE arrives as three words: --kind, =, VALUE.
    if [[ $cur == "=" ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        cur=""
    elif [[ $prev == "=" && COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    if [[ " $_quillfen_cli_takes_value " == *" $prev "* ]]; then
        case $prev in
            -k | --kind) COMPREPLY=($(compgen -W "$_quillfen_cli_kinds" -- "$cur")) ;;
            --layout) COMPREPLY=($(compgen -W "exact portable" -- "$cur")) ;;
            --compress) COMPREPLY=($(compgen -W "none deflate zstd lzw" -- "$cur")) ;;
            --input-bits) COMPREPLY=($(compgen -W "8 10 12 14 16" -- "$cur")) ;;
            -o | --output-dir) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- "$cur")) ;;
            --report) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- "$cur")) ;;
            *) COMPREPLY=() ;;
        esac
        return 0
    fi

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$_quillfen_cli_commands --help --version" -- "$cur"))
        return 0
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "${_quillfen_cli_options[$command]}" -- "$cur"))
        return 0
    fi

    compopt -o filenames 2>/dev/null
    case $command in
        convert | watch) COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X '!*.orx*' -- "$cur")) ;;
        report) [[ $prev == report ]] && COMPREPLY=($(compgen -W "merge" -- "$cur")) || COMPREPLY=($(compgen -f -X '!*.json' -- "$cur")) ;;
        *) COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X '!*.orx' -- "$cur")) ;;
    esac
    return 0
}
complete -F _quillfen_cli quillfen-cli
