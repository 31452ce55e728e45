#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything and runs
# every test:
# - the main tree (GCC, as users build it, warnings as errors) is built whole,
#   benchmarks included, and installed into a staging directory and checked
#   (install_staged);
# - a clang tree with AddressSanitizer and UndefinedBehaviorSanitizer (leak
#   checking on) builds and runs every test program and the fuzzers;
# - a ThreadSanitizer tree runs the recorder and sound tests once more.
# Any sanitizer finding fails the run. The unit, widget and oracle tests run
# in the sanitizer trees only: on two cores a third run of them would take
# the whole run past its time budget, and the instrumented run is the
# stricter one.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-format.sh
bash scripts/build.sh
ctest --test-dir build --output-on-failure --timeout 600 -R '^install_staged$'

# sanitizer_tree DIR address|thread: configures a clang tree with every target
# instrumented (see tests/sanitizers/); its ctest run sets the sanitizers'
# options itself.
sanitizer_tree() {
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSALY_SANITIZE="$2" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
}

sanitizer_tree build-asan address
cmake --build build-asan -j "$(nproc)"
ctest --test-dir build-asan --output-on-failure -j 2 --timeout 900

# Threads are where the recorder and the sound capture meet: only their tests
# (and what they build on) are built and run again under ThreadSanitizer.
# recorder_xvfb_test starts tessaly-avi with QProcess, whose clone() call
# trips a check inside clang 14's ThreadSanitizer runtime: it runs in the
# address tree only. Each test program is its own build target.
sanitizer_tree build-tsan thread
tsan_tests=(-L '^(recorder|sound)$' -E '^recorder_xvfb_test$')
mapfile -t tsan_targets < <(ctest --test-dir build-tsan -N "${tsan_tests[@]}" |
  awk '/Test +#[0-9]+:/ {print $3}')
cmake --build build-tsan -j "$(nproc)" --target "${tsan_targets[@]}"
ctest --test-dir build-tsan --output-on-failure -j 2 --timeout 900 "${tsan_tests[@]}"
