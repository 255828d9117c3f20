#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, when missing.
# qt6-base-dev brings Qt's Core, Gui, Widgets and Test modules and the "offscreen" platform the
# window's tests run on; xvfb runs them once on an X server for a screenshot.
# Idempotent: does nothing when everything is present. Run as root (or with sudo available).
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  libgtest-dev libbenchmark-dev
  libpng-dev zlib1g-dev gettext
  qt6-base-dev libpcre2-dev libudev-dev libmtp-dev
  ntfs-3g fuse3 sleuthkit bzip2 unzip xvfb xauth fonts-dejavu-core
  desktop-file-utils shared-mime-info qt6-translations-l10n
)
missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y --no-install-recommends "${missing[@]}" >&2; then
  $SUDO apt-get update >&2
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}" >&2
fi
