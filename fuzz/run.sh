#!/usr/bin/env bash
# Builds the JSON request decoder fuzzer and runs it for SECONDS (default 60).
#   fuzz/run.sh 600
# Needs clang with libFuzzer (apt-get install clang libclang-rt-14-dev). The corpus grows
# in fuzz/corpus (seeded from fuzz/seeds); crashes land in fuzz/out.
set -euo pipefail
seconds="${1:-60}"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
out="$here/out"
mkdir -p "$out" "$here/corpus"

sources=(
  "$here/decode_request_fuzzer.cpp"
  "$root"/src/common/*.cpp
  "$root/src/emi/year_month.cpp"
  "$root"/src/module/json/*.cpp
)
"${CXX:-clang++}" -std=c++20 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" "${sources[@]}" -o "$out/decode_request_fuzzer"

cp -n "$here"/seeds/* "$here/corpus/" 2>/dev/null || true
cd "$out"
"$out/decode_request_fuzzer" "$here/corpus" \
  -dict="$here/json.dict" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1
