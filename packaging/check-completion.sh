#!/usr/bin/env bash
# Checks that the bash completion offers what quillfen-cli's help lists: each command, each
# option of each command, and the kind names for --kind.
#   packaging/check-completion.sh path/to/quillfen-cli packaging/quillfen-cli.bash [LOADER]
# The completion is loaded as an installed one is: bash-completion sources it on demand from
# inside a function, so whatever it declares without -g would vanish on return. LOADER is
# "function" (the default: sourced from inside a function, as that loader does) or
# "bash-completion" (the installed loader itself; exit 77, skipped, where it is missing).
set -euo pipefail
cli=$1
script=$2
loader=${3:-function}

load_like_on_demand() {  # sources the script from a function's scope, then returns
    # shellcheck source=/dev/null
    source "$1"
}
case $loader in
    function)
        load_like_on_demand "$script" ;;
    bash-completion)
        framework=/usr/share/bash-completion/bash_completion
        [ -r "$framework" ] || { echo "check-completion: $framework missing; skipped" >&2; exit 77; }
        tmp=$(mktemp -d)
        trap 'rm -rf "$tmp"' EXIT
        mkdir -p "$tmp/user/completions" "$tmp/none"
        cp "$script" "$tmp/user/completions/quillfen-cli"
        # Only our copy can be found, not one installed on this machine.
        export BASH_COMPLETION_USER_DIR=$tmp/user XDG_DATA_DIRS=$tmp/none
        set +eu
        # shellcheck source=/dev/null
        source "$framework"
        __load_completion quillfen-cli
        set -eu
        ;;
    *) echo "check-completion: unknown loader $loader" >&2; exit 2 ;;
esac
if ! complete -p quillfen-cli 2>/dev/null | grep -q -- '-F _quillfen_cli '; then
    echo "check-completion: loading $script ($loader) registers no completion for quillfen-cli" >&2
    exit 1
fi

complete_words() {  # the words the completion offers on the command line "$@" (last word: cursor)
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _quillfen_cli 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sort -u | grep -v '^$' || true
}
long_options() {  # the long options a --help text lists
    grep -oE '^  (-[a-z],)?--[a-z][a-z0-9-]*' | sed 's/^ *\(-[a-z],\)\?//' | sort -u
}
status=0
compare() {  # what, expected, offered
    local missing extra
    missing=$(comm -23 <(echo "$2") <(echo "$3") | tr '\n' ' ')
    extra=$(comm -13 <(echo "$2") <(echo "$3") | tr '\n' ' ')
    if [ -n "$missing$extra" ]; then
        echo "check-completion: $1: not offered: [${missing% }]  offered but unknown: [${extra% }]" >&2
        status=1
    fi
}

help=$("$cli" --help)
commands=$(echo "$help" | sed -n '/^Subcommands:/,$p' | grep -oE '^  [a-z][a-z0-9-]*' | tr -d ' ' | sort -u)
[ -n "$commands" ] || { echo "check-completion: $cli --help lists no commands" >&2; exit 1; }
compare "commands" "$(printf '%s\n' $commands --help --version | sort -u)" "$(complete_words quillfen-cli '')"

for command in $commands; do
    command_help=$("$cli" "$command" --help)
    compare "$command options" "$(echo "$command_help" | long_options)" \
        "$(complete_words quillfen-cli "$command" --)"
    # An option shown with a value (--name TYPE...) completes no option name after it.
    for option in $(echo "$command_help" | grep -oE '^  (-[a-z],)?--[a-z][a-z0-9-]* [A-Z]' | awk '{print $1}' |
                    sed 's/^-[a-z],//'); do
        if complete_words quillfen-cli "$command" "$option" -- | grep -q '^--'; then
            echo "check-completion: $command $option takes a value, yet option names are offered after it" >&2
            status=1
        fi
    done
done

kinds=$("$cli" convert --help | grep -A1 -E '^  (-k,)?--kind ' | grep -oE '[a-z]+-(tiff|bmp)' | sort -u)
compare "convert --kind values" "$kinds" "$(complete_words quillfen-cli convert --kind '')"

[ $status -eq 0 ] && echo "check-completion: loaded by $loader, the completion offers every command, option and kind of $cli"
exit $status
