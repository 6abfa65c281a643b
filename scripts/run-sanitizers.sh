#!/usr/bin/env bash
# The test suite under the sanitizers, as CI runs it:
# 1. build-asan, built with clang, AddressSanitizer (leaks included) and
#    UndefinedBehaviorSanitizer: every test, then each libFuzzer harness for a
#    bounded time (scripts/run-fuzz.sh);
# 2. build-tsan, built with clang and ThreadSanitizer: the tests that run
#    threads (slicer, automatic supports, preview, render thread).
# Any report fails the run. tests/sanitizers/lsan.supp holds the leak
# suppressions, which name third-party libraries only. Prints the wall time of
# every phase.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
supp="$root/tests/sanitizers"

phase=""
phase_start=0
timings=()
begin() {
  phase=$1
  phase_start=$SECONDS
  echo "run-sanitizers: $phase"
}
took() {
  local seconds=$((SECONDS - phase_start))
  timings+=("$(printf '%-11s %3d min %02d s%s' "$phase" $((seconds / 60)) $((seconds % 60)) "$1")")
}
end() {
  took ""
  phase=""
}
report() {
  [ -z "$phase" ] || took "  (failed)"
  echo "run-sanitizers: wall time per phase"
  printf '  %s\n' "${timings[@]}"
}
trap report EXIT

configure() {
  cmake -S . -B "$1" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALO3D_BENCH=OFF "${@:2}"
}

# ASan stops at its first report; UBSan aborts by itself
# (-fno-sanitize-recover), the option only adds a stack to its report.
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
# Qt, glib and Mesa are not built with ThreadSanitizer: the locks and atomic
# reference counts by which they hand memory between threads are invisible to
# it, so every QImage, event or runnable that Qt frees on another thread than
# the one that made it would show as a race. ignore_noninstrumented_modules
# ignores the memory accesses of the C library calls (free, memcpy, ...) made
# from such libraries, and nothing else: every access our code makes, and
# every lock any library takes through pthreads, is still seen. Any report
# fails the test (exit code 66 at the end of the process).
export TSAN_OPTIONS="ignore_noninstrumented_modules=1:second_deadlock_stack=1"

begin "build asan"
configure build-asan -DKALO3D_SANITIZE=address,undefined -DKALO3D_FUZZ=ON
cmake --build build-asan -j"$jobs"
end

# Mesa unloads its software OpenGL driver when the display closes, before the
# leak check at exit: the caches the driver's globals still held would show as
# leaks of an unknown library. Loaded up front, the driver stays.
swrast=$(find /usr/lib -path '*/dri/swrast_dri.so' -print -quit)
begin "test asan"
LD_PRELOAD="$swrast" ctest --test-dir build-asan --output-on-failure -j"$jobs"
end

if [ -x scripts/run-fuzz.sh ]; then
  begin "fuzz asan"
  ./scripts/run-fuzz.sh build-asan
  end
fi

# The tests that start threads of their own or through the program.
threaded=()
for name in tst_slicer tst_slicefaults tst_slice tst_sliceoracle tst_supportgenerator tst_preview tst_preview_gui \
            tst_sceneview_gui tst_kaloapp tst_mainwindow_gui tst_livecheck tst_printcheck \
            tst_cavity tst_hollowing tst_kalomodel; do
  compgen -G "tests/*/$name.cpp" >/dev/null && threaded+=("$name")
done
echo "run-sanitizers: under ThreadSanitizer: ${threaded[*]}"

begin "build tsan"
configure build-tsan -DKALO3D_SANITIZE=thread -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG"
cmake --build build-tsan -j"$jobs" --target "${threaded[@]}"
end

begin "test tsan"
pattern="^($(IFS='|'; echo "${threaded[*]}"))\$"
ctest --test-dir build-tsan --output-on-failure -j"$jobs" -R "$pattern"
end

echo "run-sanitizers: no sanitizer reports"
