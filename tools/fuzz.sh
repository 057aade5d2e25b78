#!/usr/bin/env bash
# Fuzzes the workbook readers for a bounded time: tools/fuzz.sh [SECONDS]
# Builds the fuzzer with clang (libFuzzer, AddressSanitizer, UBSan) in
# build-fuzz, seeds it with the test workbooks, guides it with a dictionary
# of BIFF records, OLE2 and zip signatures and OOXML names, and fails on any
# finding.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
build="${SCRIVANE_FUZZ_BUILD:-$here/build-fuzz}"
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DSCRIVANE_FUZZ=ON \
  -DSCRIVANE_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_reader fuzz_questions -j "$(nproc 2>/dev/null || echo 2)"
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
cp "$here"/tests/fuzz/corpus/* "$corpus"/
cp "$here"/tests/fixtures/*.xls "$here"/tests/fixtures/*.xlsx "$here"/tests/fixtures/*.ods "$corpus"/
# libgsf leaks a little when it rejects a damaged directory; the suppression
# needs full stacks to match.
ASAN_OPTIONS=fast_unwind_on_malloc=0 \
LSAN_OPTIONS="suppressions=$here/tests/fuzz/lsan.supp" \
  "$build/bin/fuzz_reader" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
  -max_len=65536 -dict="$here/tests/fuzz/workbook.dict" -artifact_prefix="$build/" "$corpus" 2>&1 | tail -n 5
echo "fuzz_reader: ${seconds}s without a finding"
# The question formats (CSV, Moodle XML, GIFT, Aiken) get a short run of their own.
questions="$(mktemp -d)"
trap 'rm -rf "$corpus" "$questions"' EXIT
cp "$here"/tests/fixtures/*.csv "$here"/tests/fixtures/bank.* "$questions"/
rm -f "$questions"/*.json
"$build/bin/fuzz_questions" -max_total_time=15 -rss_limit_mb=2048 -timeout=10 \
  -max_len=65536 -artifact_prefix="$build/" "$questions" 2>&1 | tail -n 5
echo "fuzz_questions: 15s without a finding"
