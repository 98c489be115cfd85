#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the installer need.
# Runs apt-get only for what is missing; uses sudo when not root.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config clang-format
  qt6-base-dev qt6-qpa-plugins libcurl4-openssl-dev libarchive-dev libsystemd-dev zlib1g-dev libisal-dev libproxy-dev
  fonts-wqy-zenhei
  # the Debian package: CPack's dependency computation, and checking the package and its
  # metainfo as Debian does (lintian reads the manual page through man-db)
  dpkg-dev file lintian appstream man-db
  # running: elevation for users other than root
  pkexec
  # tests and benchmarks
  libgtest-dev googletest zip unzip python3 openssl curl libarchive-tools time
  dbus python3-dbusmock xvfb xauth desktop-file-utils
  # a screen reader's path in tests: the accessibility bus and its Python client
  at-spi2-core python3-pyatspi
  # tests that mount real file systems (exFAT images on loop devices through FUSE)
  exfatprogs exfat-fuse fuse3 util-linux mount
  # a FUSE stick of our own for the read-back tests
  python3-fusepy
  # scripts/fuzz.sh: Debian's clang with its libFuzzer and sanitizer runtimes (scripts/sanitize.sh
  # uses g++'s, which come with it)
  clang libclang-rt-dev
)

missing=()
for package in "${packages[@]}"; do
  [[ $package == \#* ]] && continue
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
((${#missing[@]} == 0)) && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
