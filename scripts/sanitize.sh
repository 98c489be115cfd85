#!/usr/bin/env bash
# The suite under the sanitizers, in a build tree of its own.
#
#   scripts/sanitize.sh            AddressSanitizer + UndefinedBehaviorSanitizer (with LeakSanitizer)
#                                  in build-asan/: builds the tests and runs the whole ctest suite
#   scripts/sanitize.sh --thread   ThreadSanitizer in build-tsan/: the tests of the program's own
#                                  threads (message queues, worker, downloader, station)
#
# Extra arguments go to ctest (for example -R extraction). Every report a sanitizer writes, in a
# test or in a program a test starts, lands in REPORTS/ under the build tree; the run fails when
# a test fails or any report was written. BUILD_DIR overrides the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mode=address
if [[ ${1:-} == --thread ]]; then
  mode=thread
  shift
fi

bash scripts/deps.sh

if [[ $mode == address ]]; then
  build_dir=${BUILD_DIR:-build-asan}
  sanitize_flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
else
  build_dir=${BUILD_DIR:-build-tsan}
  sanitize_flags="-fsanitize=thread"
fi
# -O1 keeps the suite fast enough under the sanitizers; line tables are all a report needs.
flags="$sanitize_flags -fno-omit-frame-pointer -O1 -g1"
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="$flags" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize_flags" -DINSTALLER_BUILD_BENCH=OFF -DINSTALLER_HARDENING=OFF >/dev/null

reports=$root/$build_dir/REPORTS
rm -rf "$reports"
mkdir -p "$reports"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
supp=$root/scripts/sanitizers

if [[ $mode == address ]]; then
  cmake --build "$build_dir" -j "$(nproc)"
  # exitcode 86 keeps a report apart from the exit codes the program itself uses.
  common="exitcode=86:log_path=$reports/report:print_summary=1"
  # No strict_string_checks: it asks every string argument to end in a NUL even where the
  # function takes a length, and libxkbcommon-x11 (under Xvfb, the screen-reader test) calls
  # strndup on an atom name that is not NUL-terminated, which is well defined.
  export ASAN_OPTIONS="$common:detect_leaks=1:detect_stack_use_after_return=0:check_initialization_order=1"
  export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="$common:print_stacktrace=1:halt_on_error=1"
  status=0
  ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" --timeout 900 "$@" || status=$?
  shopt -s nullglob
  found=("$reports"/report*)
  if ((${#found[@]} > 0)); then
    echo "sanitizer reports (${#found[@]} files):"
    for file in "${found[@]}"; do
      echo "==== $file"
      head -n 60 "$file"
    done
    exit 1
  fi
  exit "$status"
fi

# ThreadSanitizer: the tests of the program's own threads, each executable as one process.
# Reports are counted, not fatal to the test, so that one run gives the whole picture.
thread_tests=(tests/platform/platform_core_test tests/net/net_tests tests/download_window/install_window_tests
  tests/app/station_run_tests)
cmake --build "$build_dir" -j "$(nproc)" --target installer $(for t in "${thread_tests[@]}"; do basename "$t"; done)
export TSAN_OPTIONS="log_path=$reports/report:halt_on_error=0:exitcode=0:second_deadlock_stack=1:suppressions=$supp/tsan.supp"
export QT_QPA_PLATFORM=offscreen INSTALLER_VOLUME_MAP=
status=0
for test in "${thread_tests[@]}"; do
  echo "== $test"
  "$build_dir/$test" --gtest_brief=1 "$@" || status=1
done
count=$(cat "$reports"/report* 2>/dev/null | grep -c '^WARNING: ThreadSanitizer:' || true)
echo "ThreadSanitizer reports: $count"
((count == 0)) || exit 1
exit "$status"
