#!/usr/bin/env bash
# Builds Gravel and runs every test suite three ways: a Release build (what
# hosts load, run once on the processor's fastest kernels and once on the
# baseline ones), an ASan+UBSan build with the assertions on, and a TSan build
# of the tests that exercise threads.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/deps.sh

echo "== Release build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Release tests again on the baseline kernels (GRAVEL_SIMD=baseline)"
GRAVEL_SIMD=baseline ctest --test-dir build --output-on-failure -j "$jobs"

echo "== ASan+UBSan build"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DGRAVEL_SANITIZER=address -DGRAVEL_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== TSan build (threaded tests)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DGRAVEL_SANITIZER=thread -DGRAVEL_BUILD_BENCH=OFF
cmake --build build-tsan -j "$jobs" --target gravel_thread_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -L threads -j "$jobs"

echo "== Fuzzing the parsers of outside data (clang, libFuzzer + ASan/UBSan)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Release -DGRAVEL_BUILD_FUZZ=ON -DGRAVEL_BUILD_TESTS=OFF -DGRAVEL_BUILD_BENCH=OFF
cmake --build build-fuzz -j "$jobs" --target fxp_fuzz plist_fuzz mapping_fuzz preset_list_fuzz classinfo_fuzz
# FXP/FXB data comes from any file a user opens: a minute for its parser.
# TNParameters.txt is edited by users: a minute for its reader too.
# The AudioUnit presets (a factory list with its files; documents restored
# through ClassInfo) and property lists come from files users share: a minute
# each as well.
declare -A fuzz_seconds=([fxp]=${GRAVEL_FUZZ_SECONDS:-60} [plist]=${GRAVEL_FUZZ_SECONDS:-60}
  [mapping]=${GRAVEL_FUZZ_SECONDS:-60} [preset_list]=${GRAVEL_FUZZ_SECONDS:-60}
  [classinfo]=${GRAVEL_FUZZ_SECONDS:-60})
for target in fxp plist mapping preset_list classinfo; do
  binary=$(find build-fuzz -type f -name "${target}_fuzz" -perm -u+x | head -n 1)
  corpus="build-fuzz/corpus/$target"
  mkdir -p "$corpus"
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  # New inputs go to the scratch corpus; the seeds in fuzz/corpus stay as committed.
  log="build-fuzz/$target.log"
  if ! "$binary" -max_total_time="${fuzz_seconds[$target]}" -print_final_stats=1 "${dict[@]}" \
      "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: ${target}_fuzz found a problem; the input that shows it is named above"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$log"
done
echo "fuzz: fxp ${fuzz_seconds[fxp]}s, plist ${fuzz_seconds[plist]}s, mapping ${fuzz_seconds[mapping]}s," \
  "preset_list ${fuzz_seconds[preset_list]}s and classinfo ${fuzz_seconds[classinfo]}s without a finding"
