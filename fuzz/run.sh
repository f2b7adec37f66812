#!/usr/bin/env bash
# Builds the fuzzer (clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for the given number of seconds
# (default 120) from a freshly generated seed corpus. Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-120}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
build=build/fuzz
if [ ! -x "$build/quillorn_fuzzer" ]; then
  echo "fuzz/run.sh: this compiler cannot build libFuzzer targets" >&2
  exit 1
fi
rm -rf "$build/seeds" "$build/corpus"
mkdir -p "$build/seeds" "$build/corpus"
"$build/make_fuzz_seeds" "$build/seeds"
"$build/quillorn_fuzzer" -max_total_time="$seconds" -max_len=4096 \
  -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$build/" "$build/corpus" "$build/seeds" 2>&1 |
  grep -v -E '^Quillorn|^Hit Ctrl' | tail -n 60
exit "${PIPESTATUS[0]}"
