#!/usr/bin/env bash
# Builds the Debian packages, quillfen-cli (the command line, no Qt) and quillfen (the
# dialog, depending on quillfen-cli): Release, no tests, Debian's hardening flags, installed
# under /usr, binaries stripped. Prints the paths of the .debs.
#   scripts/package.sh [BUILD_DIR]     (default build-package)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
QUILLFEN_PACKAGING=1 scripts/install-deps.sh

export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_TESTING=OFF -DQUILLFEN_WERROR=OFF -DQUILLFEN_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
for deb in "$PWD/$build"/packages/*.deb; do echo "package: $deb"; done
