#!/usr/bin/env bash
# Fuzzes the parsers of what comes from outside: builds the libFuzzer targets of fuzz/ with
# Debian's clang (AddressSanitizer + UndefinedBehaviorSanitizer) into build-fuzz/ and runs each
# for SECONDS (default 60) on its seed corpus fuzz/corpus/TARGET/, one target after the other.
#
#   scripts/fuzz.sh [SECONDS]
#
# New inputs collect in build-fuzz/corpus/TARGET/ and are used again by the next run. A crash,
# a leak, a time-out or a broken property is kept as build-fuzz/crashes/TARGET-KIND-HASH and
# fails the run; rerun one with `build-fuzz/fuzz/TARGET FILE`. FUZZ_TARGETS="a b" runs only
# those targets; BUILD_DIR overrides the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds == 0)); then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi

bash scripts/deps.sh
build_dir=${BUILD_DIR:-build-fuzz}
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
flags="$sanitize -fsanitize=fuzzer-no-link -fno-omit-frame-pointer -O1 -g1"
cmake -S . -B "$build_dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS_RELWITHDEBINFO="$flags" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" \
  -DBUILD_TESTING=OFF -DINSTALLER_BUILD_BENCH=OFF -DINSTALLER_FUZZ=ON -DINSTALLER_HARDENING=OFF >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target fuzzers

read -r -a targets <<<"${FUZZ_TARGETS:-$(cd fuzz/corpus && echo *)}"
crashes=$PWD/$build_dir/crashes
logs=$PWD/$build_dir/logs
mkdir -p "$crashes" "$logs"
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0:print_summary=1"
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

failed=()
for target in "${targets[@]}"; do
  work=$build_dir/corpus/$target
  mkdir -p "$work"
  before=$(ls "$crashes" | wc -l)
  dictionary=()
  [[ -f fuzz/$target.dict ]] && dictionary=(-dict="fuzz/$target.dict")
  status=0
  "$build_dir/fuzz/$target" "${dictionary[@]}" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$crashes/$target-" "$work" "fuzz/corpus/$target" \
    >"$logs/$target.log" 2>&1 || status=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$logs/$target.log" | grep -o '[0-9]*$' | tail -n 1 || echo '?')
  if ((status != 0)) || (($(ls "$crashes" | wc -l) > before)); then
    echo "FAIL $target (exit $status, $runs runs); log $logs/$target.log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz property broken|  |artifact_prefix|Test unit written)' "$logs/$target.log" |
      head -n 30 || true
    failed+=("$target")
  else
    echo "ok   $target ($runs runs in ${seconds}s, corpus $(ls "$work" | wc -l) inputs)"
  fi
done
if ((${#failed[@]} > 0)); then
  echo "fuzzing found faults in: ${failed[*]}; inputs kept in $crashes/"
  exit 1
fi
