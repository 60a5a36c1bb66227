#!/usr/bin/env bash
# Installs the Debian 12 packages Larkspan needs to build, run and test, when missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin libgl1-mesa-dev
  libgmime-3.0-dev libssl-dev libqpdf-dev libical-dev qtkeychain-qt6-dev libsecret-1-0
  gnome-keyring dbus libsecret-tools
  dovecot-imapd openssl
  poppler-utils xvfb xauth iputils-ping fonts-dejavu-core
  systemd man-db
)
if [ "${1:-}" = "--with-fuzzer" ]; then
  packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
