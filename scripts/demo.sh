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
"$cli" info samples/halfres.orx
echo
echo "Written under $demo, next to copies of the samples:"
for kind in normalized-tiff standardized-tiff grayscale-bmp color-bmp; do
  images=$(cd "$demo/$kind" && ls | grep -v '\.orx$' | sort -V)
  echo "  $kind/ ($(echo "$images" | wc -l) images):" $images
done
echo
echo "The programs are $build/src/app/quillfen and $cli; the images are in $demo/KIND/ -" \
  "open $demo/color-bmp/beam.bmp for a false-colour image."
