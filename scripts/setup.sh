#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (as root, or through sudo).
set -euo pipefail

packages=(build-essential cmake ninja-build ccache pkg-config
          qt6-base-dev qt6-serialport-dev qcoro-qt6-dev qt6-qpa-plugins libgl-dev
          fonts-ipafont-gothic xvfb xauth
          clang libclang-rt-14-dev llvm-14 srecord ser2net
          # installing and packaging (tests/install_check.sh, scripts/package.sh)
          desktop-file-utils appstream man-db bash-completion file lintian)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
