#!/bin/sh
# run_fuzzer.sh FUZZER CORPUS SCRATCH: a short libFuzzer run seeded from the
# committed corpus; fresh inputs land in SCRATCH, never in the tree.
set -e
fuzzer=$1 corpus=$2 scratch=$3
rm -rf "$scratch" && mkdir -p "$scratch"
exec "$fuzzer" -max_total_time="${LX2D_FUZZ_SECONDS:-5}" -timeout=5 -rss_limit_mb=2048 \
  -artifact_prefix="$scratch/" "$scratch" "$corpus"
