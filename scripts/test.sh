#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything and runs
# every test: the unit, widget and oracle tests of the main build (among them
# install_staged, which installs the build into a staging directory and checks
# it), then the fuzzers for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-format.sh
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j 2 --timeout 600

# The fuzz targets need clang with its sanitizers: a separate build tree.
cmake -S . -B build-fuzz -G Ninja -DTESSALY_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j "$(nproc)"
ctest --test-dir build-fuzz --output-on-failure --timeout 600
