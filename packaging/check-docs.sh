#!/usr/bin/env bash
# Checks that the README and the man pages agree with the program: the README's synopsis of
# `convert` lists every option its --help lists, the quillfen-cli man page gives every exit
# status the README gives, and the quillfen man page says what the README says the window's
# keys, buttons and parts do; and docs/cluster.md's copy of docs/slurm-array.sh is that file.
#   packaging/check-docs.sh path/to/quillfen-cli README.md path/to/quillfen-cli.1 [path/to/quillfen.1]
set -euo pipefail
cli=$1 readme=$2 cli_page=$3 dialog_page=${4:-}
status=0
fail() { echo "check-docs: $*" >&2; status=1; }

synopsis=$(sed -n '/^    quillfen-cli convert /,/PATH\.\.\./p' "$readme")
[ -n "$synopsis" ] || fail "$readme has no synopsis of quillfen-cli convert"
# An option with a short letter appears as [-o|--output-dir DIR], one without as [--sync].
for option in $("$cli" convert --help | grep -oE '^  (-[a-z],)?--[a-z][a-z0-9-]*' | tr -d ' ' | tr ',' '|' |
                grep -vE '^(-h\|)?--help$'); do
    grep -q -- "\[$option[] ]" <<<"$synopsis" || fail "the README's synopsis lacks [$option"
done

statuses=$(grep -A4 '^Exit status:' "$readme" | tr '\n' ' ' | sed 's/\. .*//' | grep -oE '\b[0-9]+\b' | sort -un)
[ -n "$statuses" ] || fail "$readme gives no exit statuses"
exit_section=$(sed -n '/^\.SH "\?EXIT STATUS"\?/,/^\.SH/p' "$cli_page")
for code in $statuses; do
    grep -qx "\.B $code" <<<"$exit_section" || fail "$cli_page lacks exit status $code"
done

# The script users submit is the file the Slurm check submits: the page's copy must not drift.
docs=$(dirname "$readme")/docs
copy=$(sed -n '/slurm-array\.sh`\](slurm-array\.sh)/,/^```$/p' "$docs/cluster.md" | sed -n '/^```bash$/,/^```$/p' | sed '1d;$d')
[ -n "$copy" ] || fail "$docs/cluster.md holds no copy of slurm-array.sh"
if [ -n "$copy" ] && ! diff <(echo "$copy") "$docs/slurm-array.sh" >&2; then
    fail "$docs/cluster.md's copy of slurm-array.sh differs from the file (diff above)"
fi

if [ -n "$dialog_page" ]; then
    for words in "OK" "Cancel" "Escape" "Enter" "Choose Directory" "Show Report" "Open Folder" "profile" \
                 "strip" "view" "Quillfen.conf" "Orlix"; do
        grep -q "$words" "$dialog_page" || fail "$dialog_page says nothing of $words"
    done
fi

[ $status -eq 0 ] && echo "check-docs: the README and the man pages agree with $cli"
exit $status
