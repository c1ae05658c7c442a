#!/usr/bin/env bash
# Copies samples/ into BUILD/demo/KIND/ and converts each copy with one of the four kinds.
set -euo pipefail
build=${1:-build}
cli="$build/src/cli/quillfen-cli"
demo="$build/demo"
rm -rf "$demo"
for kind in normalized-tiff standardized-tiff grayscale-bmp color-bmp; do
  mkdir -p "$demo/$kind"
  cp samples/*.orx "$demo/$kind/"
  "$cli" convert --kind "$kind" --settle-ms 0 "$demo/$kind"
done
echo
echo "Written under $demo:"
(cd "$demo" && find . -type f ! -name '*.orx' | sort | sed 's|^\./|  |')
"$cli" info samples/halfres.orx
