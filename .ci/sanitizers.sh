#!/usr/bin/env bash
# CI stages under the sanitizers, after the normal build and tests:
#   1. build-asan: every target with AddressSanitizer and UndefinedBehaviorSanitizer
#      (clang), then the whole CTest suite there;
#   2. the state fuzzer for a bounded time, seeded with blobs the processor saved;
#   3. build-tsan: only the concurrency test, under ThreadSanitizer.
# Any sanitizer report, fuzzer crash, leak or timeout fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${GRELK_JOBS:-$(nproc)}"
fuzz_seconds="${GRELK_FUZZ_SECONDS:-60}"
source .ci/sanitizers/env.sh

stage_start=0
stage() { stage_start=$(date +%s); echo "=== $1"; }
stage_done() { echo "=== $1 took $(( $(date +%s) - stage_start )) s"; }

configure() {
    cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DGRELK_SANITIZER="$2"
}

stage "ASan+UBSan build"
configure build-asan address
cmake --build build-asan -j"$jobs"
stage_done "ASan+UBSan build"

stage "ASan+UBSan tests"
ctest --test-dir build-asan --output-on-failure -j"$jobs"
stage_done "ASan+UBSan tests"

stage "State fuzzer (${fuzz_seconds} s)"
corpus="build-asan/fuzz-corpus"
artifacts="build-asan/fuzz-artifacts"
rm -rf "$corpus" "$artifacts"
mkdir -p "$corpus" "$artifacts"
build-asan/tests/fuzz/GrelkStateSeeds "$corpus"
# New inputs go to the first directory; the regressions are read only. The
# longest text a state may have (32,768 bytes) and its wrapper fit -max_len.
if ! build-asan/tests/fuzz/GrelkStateFuzzer "$corpus" tests/fuzz/regressions \
        -dict=tests/fuzz/state.dict \
        -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -max_len=33000 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" > "$artifacts/fuzz.log" 2>&1; then
    grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)|NEW_FUNC' "$artifacts/fuzz.log" | tail -n 300
    echo "The state fuzzer failed; the input is in $artifacts (keep it in tests/fuzz/regressions once fixed)."
    exit 1
fi
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::' "$artifacts/fuzz.log"
stage_done "State fuzzer"

stage "TSan build and concurrency test"
configure build-tsan thread
cmake --build build-tsan -j"$jobs" --target GrelkStateConcurrencyTests
ctest --test-dir build-tsan --output-on-failure -R '^StateConcurrency\.'
stage_done "TSan build and concurrency test"
