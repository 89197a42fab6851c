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
cmake --build build-fuzz -j "$jobs" --target fxp_fuzz plist_fuzz mapping_fuzz preset_list_fuzz classinfo_fuzz \
  audiounit_fuzz clap_state_fuzz
# Seconds per target (GRAVEL_FUZZ_SECONDS overrides them all). A minute proved
# too short: a NUL byte in a property list that aborted the process took about
# a million runs (95 s) to find. FXP/FXB data and property lists come from any
# file a user opens or shares: 100 s and 110 s. TNParameters.txt is edited by
# users and the AudioUnit presets (a factory list with its files; documents
# restored through ClassInfo) come from shared files: 75 s each. The
# AudioUnit API as a host drives it (properties, parameters, renders,
# listeners) gets 60 s, and so does Gravel.clap's state as a CLAP host hands
# it back. Nine and a quarter minutes in all keeps CI under half an hour now
# that the JACK, CLAP and package suites run too.
declare -A fuzz_seconds=([fxp]=${GRAVEL_FUZZ_SECONDS:-100} [plist]=${GRAVEL_FUZZ_SECONDS:-110}
  [mapping]=${GRAVEL_FUZZ_SECONDS:-75} [preset_list]=${GRAVEL_FUZZ_SECONDS:-75}
  [classinfo]=${GRAVEL_FUZZ_SECONDS:-75} [audiounit]=${GRAVEL_FUZZ_SECONDS:-60}
  [clap_state]=${GRAVEL_FUZZ_SECONDS:-60})
# The AudioUnit script runs long from the start: its seeds are long inputs.
declare -A fuzz_options=([audiounit]="-len_control=0 -max_len=2048")
for target in fxp plist mapping preset_list classinfo audiounit clap_state; do
  binary=$(find build-fuzz -type f -name "${target}_fuzz" -perm -u+x | head -n 1)
  corpus="build-fuzz/corpus/$target"
  mkdir -p "$corpus"
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  read -r -a options <<<"${fuzz_options[$target]:-}"
  # New inputs go to the scratch corpus; the seeds in fuzz/corpus stay as committed.
  log="build-fuzz/$target.log"
  if ! "$binary" -max_total_time="${fuzz_seconds[$target]}" -print_final_stats=1 "${dict[@]}" "${options[@]}" \
      "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: ${target}_fuzz found a problem; the input that shows it is named above"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$log"
done
echo "fuzz: fxp ${fuzz_seconds[fxp]}s, plist ${fuzz_seconds[plist]}s, mapping ${fuzz_seconds[mapping]}s," \
  "preset_list ${fuzz_seconds[preset_list]}s, classinfo ${fuzz_seconds[classinfo]}s and" \
  "audiounit ${fuzz_seconds[audiounit]}s and clap_state ${fuzz_seconds[clap_state]}s without a finding"
