#!/usr/bin/env bash
# Installs the Debian packages the program and its tests need. Idempotent: packages already
# present are left alone, and the French locale used by the locale test is generated once.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  clang libclang-rt-14-dev llvm
  qt6-base-dev libqcustomplot-dev qt6-datavisualization-dev qt6-declarative-dev
  libmatheval-dev libgsl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth libgl1-mesa-dri fonts-dejavu-core imagemagick
  locales
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The locale test writes files under a French locale; a fresh machine has none generated.
if ! locale -a 2>/dev/null | grep -qi '^fr_FR\.utf-\?8$'; then
  if ! grep -q '^fr_FR.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'fr_FR.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen
fi
