#!/usr/bin/env bash
# Writes the seed corpus into fuzz/corpus/: small synthetic ORX files from quillfen-cli
# synth, hand-made headers, and a few shapes for the other two targets.
set -euo pipefail
cli=${1:-build/src/cli/quillfen-cli}
out=fuzz/corpus
"$cli" synth --width 4 --height 3 --frames 2 --seed 1 "$out/orx_load/small.orx"
"$cli" synth --width 5 --height 5 --frames 3 --half --seed 2 "$out/orx_load/half.orx"
"$cli" synth --width 1 --height 1 --frames 7 --half "$out/orx_load/empty-frames.orx"
"$cli" synth --width 16 --height 2 --frames 1 --bits 12 "$out/orx_load/single.orx"
# Hand-made: a bare header, a longer header, a header that claims more than it holds.
printf '\x89ORX\r\n\x1a\n\x01\x00\x20\x00\x01\x00\x01\x00\x01\x00\x00\x00\x00\x00%010d' 0 | head -c 32 > "$out/orx_load/header-only.orx"
{ printf '\x89ORX\r\n\x1a\n\x01\x00\x28\x00\x02\x00\x01\x00\x01\x00\x00\x00\x00\x00'; head -c 18 /dev/zero; printf '\x01\x00\x02\x00'; } > "$out/orx_load/long-header.orx"
printf '\x89ORX\r\n\x1a\n\x01\x00\x20\x00\xff\x7f\xff\x7f\x00\x80\x00\x00\x00\x00' > "$out/orx_load/huge-claim.orx"
head -c 22 /dev/zero >> "$out/orx_load/huge-claim.orx"
printf '\x00\x01\x02\x00\x02\x00\x0a\x00\x04\x00\x00\x01' > "$out/frame_pull/vector.bin"
printf '\x02\x01\x00\x01\x10\x00\xff\x08\x00\x04\x00\x01' > "$out/frame_pull/lower-bound.bin"
printf '\x03\x03\x02\x00\x03\x00\x00\x02\x00\x00\xf6\xff\x06\x00\x00' > "$out/frame_pull/negative.bin"
printf '\x00\x00\x01/scans/line.orx' > "$out/output_naming/frame0.bin"
printf '\x64\x00\x00/scans/line99.bmp' > "$out/output_naming/frame100.bin"
printf '\xff\xff\x01a' > "$out/output_naming/negative.bin"
