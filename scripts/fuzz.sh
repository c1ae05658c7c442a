#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60), starting
# from the committed corpus. Fails when a target finds anything; the input it found is in
# build-fuzz/artifacts/ (minimise it with -minimize_crash=1 and commit it under
# fuzz/regressions/TARGET/).
set -euo pipefail
seconds=${1:-${QUILLFEN_FUZZ_SECONDS:-60}}
QUILLFEN_FUZZ=1 scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLFEN_FUZZ=ON \
  -DQUILLFEN_GUI=OFF -DQUILLFEN_BENCH=OFF -DQUILLFEN_WERROR=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_orx_load fuzz_frame_pull fuzz_output_naming
mkdir -p build-fuzz/artifacts
status=0
for target in orx_load frame_pull output_naming; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  cp -n fuzz/corpus/$target/* "$corpus/" 2>/dev/null || true
  log=build-fuzz/$target.log
  if build-fuzz/fuzz/fuzz_$target "$corpus" -max_total_time="$seconds" -rss_limit_mb=2048 \
       -max_len=65536 -artifact_prefix=build-fuzz/artifacts/$target- -print_final_stats=1 >"$log" 2>&1; then
    execs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "fuzz $target: ${execs:-?} executions in ${seconds}s, no findings"
  else
    echo "fuzz $target: FOUND A FAULT, see $log and build-fuzz/artifacts/" >&2
    tail -40 "$log" >&2
    status=1
  fi
done
exit $status
