#!/usr/bin/env bash
# Installs, from Debian packages, everything the project needs to build and test.
# Packages that are already installed are skipped; run as root (or through sudo).
set -euo pipefail

packages=(
  g++ gcc cmake make ninja-build pkg-config clang-format
  clang libclang-rt-dev llvm
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  zlib1g-dev libzip-dev libcurl4-openssl-dev
  qt6-base-dev qt6-base-dev-tools libqt6widgets6 libqt6network6 libqt6test6
  qt6-multimedia-dev qt6-qpa-plugins libqt6multimedia6
  fonts-dejavu-core
  xvfb xauth
  nginx curl ca-certificates
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is already installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# nginx is only for the download tests, which start their own on a free port:
# keep the package from starting a system-wide server on port 80 (where no
# policy is in place already, one is put there for the install and removed).
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  trap '$SUDO rm -f "$policy"' EXIT
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
  $SUDO chmod +x "$policy"
fi
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
