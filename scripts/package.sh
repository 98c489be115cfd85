#!/usr/bin/env bash
# The package command: installs what is missing, builds with the install prefix /usr, and
# writes the Debian package into dist/ (the only .deb there afterwards). Only what the package
# holds is built (CPack then builds nothing more).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo} -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target installer package_icons package_docs
staging="$build_dir/cpack"
rm -rf "$staging"
(cd "$build_dir" && cpack -G DEB -B "$PWD/cpack" >/dev/null)
mkdir -p dist
rm -f dist/*.deb
mv "$staging"/*.deb dist/
ls dist/*.deb
