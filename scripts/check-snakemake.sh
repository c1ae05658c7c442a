#!/usr/bin/env bash
# Runs docs/snakemake/Snakefile over a synthesized folder of 12-bit series whose names
# collide (scan1 ... scan12): the jobs must write exactly what one `convert` of the folder
# writes, byte for byte, and a second snakemake run must find nothing to do.
#   scripts/check-snakemake.sh [BUILD]      (BUILD: the build folder, build by default)
# Exit status: 0 passed, 1 failed, 77 skipped (snakemake cannot be installed; the reason
# is printed).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$(realpath "$build/src/cli/quillfen-cli" 2>/dev/null || true)
skip() { echo "check-snakemake: skipped: $*" >&2; exit 77; }
fail() { echo "check-snakemake: FAILED: $*" >&2; exit 1; }

[ -x "$cli" ] || fail "no $build/src/cli/quillfen-cli (make build first)"
QUILLFEN_SNAKEMAKE=1 scripts/install-deps.sh || skip "snakemake could not be installed"
command -v snakemake >/dev/null || skip "no snakemake on PATH after installing it"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
data=$tmp/data
mkdir -p "$data"
for i in $(seq 1 12); do
    "$cli" synth --bits 12 --width 48 --height 32 --frames $((2 + i % 3)) --seed "$i" "$data/scan$i.orx" >/dev/null
done
for i in 1 2 3; do "$cli" synth --bits 12 --width 40 --height 40 --frames 3 --seed $((50 + i)) "$data/day$i.orx" >/dev/null; done
cp -a "$data" "$tmp/whole"
options="--kind color-bmp --input-bits 12"
# shellcheck disable=SC2086
"$cli" convert --quiet $options "$tmp/whole" 2>/dev/null || true

snake() {
    snakemake -s "$PWD/docs/snakemake/Snakefile" --directory "$tmp" --cores 2 --quiet \
        --config folder="$data" cli="$cli" options="$options" "$@"
}
start=$(date +%s.%N)
snake >"$tmp/first.log" 2>&1 || { cat "$tmp/first.log" >&2; fail "the first snakemake run failed"; }
echo "check-snakemake: first run in $(python3 -c "import time; print(round(time.time() - $start, 1))") s"
diff -r "$tmp/whole" "$data" >&2 || fail "the jobs' outputs differ from one convert of the folder"

# Nothing is out of date: a dry run of snakemake lists no job, and a real one runs none.
snake --dry-run >"$tmp/second.log" 2>&1 || { cat "$tmp/second.log" >&2; fail "the second snakemake dry run failed"; }
if grep -qE '^(rule|localrule) ' "$tmp/second.log" || ! grep -q 'Nothing to be done' "$tmp/second.log"; then
    cat "$tmp/second.log" >&2
    fail "a second run would run jobs again"
fi
snake >"$tmp/third.log" 2>&1 || { cat "$tmp/third.log" >&2; fail "the second snakemake run failed"; }
[ "$(find "$data" -type f -newer "$tmp/second.log" | wc -l)" -eq 0 ] || fail "the second run wrote files"
echo "check-snakemake: passed: $(find "$data" -name '*.bmp' | wc -l) outputs as one convert writes them; a second run did nothing"
