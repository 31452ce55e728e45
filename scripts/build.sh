#!/usr/bin/env bash
# Configures and builds the default tree in build/ (Ninja, release with debug info).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
