#!/usr/bin/env bash
# Renders the main window's four pages to PNG files for a look at them:
# render-pages.sh [BUILD_DIR]   (default: build)
# Builds the render-pages program in BUILD_DIR, runs it against a private Xvfb
# and prints the paths of BUILD_DIR/pages/{home,record,cut,merge}.png.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S . -B "$build_dir" -G Ninja >/dev/null
fi
cmake --build "$build_dir" --target render-pages -j 2 >/dev/null

out_dir="$(cd "$build_dir" && pwd)/pages"
bash scripts/with-xvfb.sh "$build_dir/bin/render-pages" "$out_dir"
