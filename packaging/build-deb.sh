#!/usr/bin/env bash
# Builds the Debian package and checks it:
#   packaging/build-deb.sh [BUILD_DIR]   (default: build-deb)
# Configures a release build installed under /usr in BUILD_DIR, builds the
# programs and their manual pages, makes tessaly-recorder_VERSION_ARCH.deb
# there with CPack, lists its contents and runs lintian on it (any error
# fails). Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build-deb}
# Debian's hardening flags (fortified functions, stack protector, read-only
# relocations bound at start), as its own packages are built.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxx_flags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
c_flags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
ld_flags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$cxx_flags" -DCMAKE_C_FLAGS="$c_flags" -DCMAKE_EXE_LINKER_FLAGS="$ld_flags" \
    -DTESSALY_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)" \
    --target tessaly-recorder tessaly-avi tessaly_docs tessaly_man_pages tessaly_changelog
rm -f "$build_dir"/tessaly-recorder_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
package="$(ls "$build_dir"/tessaly-recorder_*.deb)"

dpkg-deb --info "$package"
dpkg-deb --contents "$package"
# lintian's exit status is nonzero for errors only; warnings are shown.
lintian --info --display-info "$package"
echo "$package"
