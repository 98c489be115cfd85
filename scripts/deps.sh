#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the installer need.
# Runs apt-get only for what is missing; uses sudo when not root.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config clang-format
  qt6-base-dev qt6-qpa-plugins libcurl4-openssl-dev libarchive-dev libsystemd-dev zlib1g-dev libisal-dev libproxy-dev libssl-dev
  fonts-wqy-zenhei
  # the Debian package: CPack's dependency computation, and checking the package and its
  # metainfo as Debian does (lintian reads the manual page through man-db)
  dpkg-dev file lintian appstream man-db
  # running: elevation for users other than root
  pkexec
  # tests and benchmarks
  libgtest-dev googletest nginx-light zip unzip python3 openssl curl libarchive-tools time
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
  # the guest tests: Debian's kernel in QEMU with emulated USB sticks (the kernel itself below),
  # stick and disk images made and read from outside, udisks2 on the guest's system bus
  qemu-system-x86 busybox-static fdisk dosfstools mtools e2fsprogs udisks2
)

# The guest tests' kernel: Debian's linux-image-amd64 unpacked into a cache folder, not
# installed, so this machine's boot stays as it is. Without it the guest tests skip.
guest_kernel() {
  local cache=/var/cache/installer-guest/kernel
  compgen -G "$cache/boot/vmlinuz-*-amd64" >/dev/null && return 0
  local package download
  package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}')
  download=$(mktemp -d)
  if [[ -n $package ]] && (cd "$download" && apt-get download -q "$package" >/dev/null 2>&1); then
    "${sudo[@]}" mkdir -p "$cache"
    "${sudo[@]}" dpkg-deb -x "$download"/*.deb "$cache"
  else
    echo "No guest kernel (linux-image-amd64 could not be downloaded): the guest tests will skip."
  fi
  rm -rf "$download"
}

missing=()
for package in "${packages[@]}"; do
  [[ $package == \#* ]] && continue
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
if ((${#missing[@]} == 0)); then
  guest_kernel
  exit 0
fi

echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
guest_kernel
