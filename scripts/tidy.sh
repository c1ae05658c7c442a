#!/usr/bin/env bash
# clang-tidy over the program's own sources (not the tests), with the checks in
# .clang-tidy; any finding fails. Needs a configured build folder for compile_commands.json.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
command -v run-clang-tidy-14 >/dev/null || command -v run-clang-tidy >/dev/null || {
  echo "tidy: run-clang-tidy is missing (Debian package clang-tidy)" >&2; exit 1; }
runner=$(command -v run-clang-tidy-14 || command -v run-clang-tidy)
# Product sources only: tests may take shortcuts that the product may not.
"$runner" -p "$build" -quiet -j "$(nproc)" \
  -extra-arg=-Wno-unknown-warning-option \
  "$PWD/src/(platform|control|convert|export|present|tools|cli|dialog|app)/[a-z_]*[a-z](?<!_test)\.cpp$" \
  > "$build/tidy.log" 2>&1 || true
if grep -E "(warning|error): " "$build/tidy.log" | grep -v "warnings generated" | sed 's/\x1b\[[0-9;]*m//g' | sort -u | grep .; then
  echo "tidy: findings above (the whole log: $build/tidy.log)" >&2
  exit 1
fi
echo "tidy: clean ($(grep -c 'clang-tidy' "$build/tidy.log") files)"
