#!/usr/bin/env bash
# The run command: installs what is missing, builds, and starts the installer.
# Without arguments it starts the demo; any arguments go to the installer instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh --target installer
build_dir=${BUILD_DIR:-build}
if (($# == 0)); then set -- --demo; fi
exec "$build_dir/app/installer" "$@"
