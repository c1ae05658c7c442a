#!/usr/bin/env bash
# Frames per second of `quillfen-cli convert --settle-ms 0` for each kind, on a folder of
# synthetic 640 x 480 files (5 files x 40 frames), each kind on a fresh copy.
set -euo pipefail
cli=${1:-build/src/cli/quillfen-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
for i in 1 2 3 4 5; do "$cli" synth --width 640 --height 480 --frames 40 --seed "$i" "$work/src/run$i.orx"; done
frames=200
for kind in normalized-tiff standardized-tiff grayscale-bmp color-bmp; do
  rm -rf "$work/k" && cp -r "$work/src" "$work/k"
  start=$(date +%s.%N)
  "$cli" convert --quiet --settle-ms 0 --kind "$kind" "$work/k"
  end=$(date +%s.%N)
  awk -v k="$kind" -v s="$start" -v e="$end" -v f="$frames" 'BEGIN { printf "%-18s %6.0f frames/s (%d frames in %.2f s)\n", k, f / (e - s), f, e - s }'
done
