#!/usr/bin/env bash
# The top costs of each kind, one job, at 640 x 480 x 200 and 2048 x 2048 x 20: perf
# samples the CPU clock (hardware counters are often missing in virtual machines) with
# call graphs, and the three symbols with the most self time are printed per run.
#   bench/profile.sh [BUILD] [TOP]
set -euo pipefail
build=${1:-build}
top=${2:-3}
cli=$(realpath "$build/src/cli/quillfen-cli")
work=$(mktemp -d /tmp/quillfen-profile-XXXXXX)
# One job (a program from before --jobs runs one job anyway).
jobs=()
if "$cli" convert --help | grep -q -- --jobs; then jobs=(--jobs 1); fi
trap 'rm -rf "$work"' EXIT

for size in "640 480 200" "2048 2048 20"; do
    read -r w h n <<<"$size"
    "$cli" synth --width "$w" --height "$h" --frames "$n" --force "$work/data-$w.orx" >/dev/null
    for kind in normalized-tiff standardized-tiff grayscale-bmp color-bmp; do
        rm -rf "$work/run" && mkdir "$work/run" && ln "$work/data-$w.orx" "$work/run/data.orx"
        perf record -q -e cpu-clock -F 4000 -o "$work/perf.data" -- \
            "$cli" convert --quiet --settle-ms 0 "${jobs[@]}" --kind "$kind" "$work/run" 2>/dev/null
        echo "$w x $h x $n, $kind:"
        perf report -i "$work/perf.data" --no-children --stdio --sort symbol --percent-limit 1 2>/dev/null |
            grep -E '^ +[0-9.]+%' | sed -E 's/ +\[[.k]\] / /; s/^ +/  /; s/( +-)+ *$//; s/  +/ /g' |
            head -n "$top" || true
    done
done
