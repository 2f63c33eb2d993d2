#!/usr/bin/env bash
# Installs the Debian 12 packages coolwarm builds, tests and renders with.
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libembree-dev
          libopenimageio-dev libcli11-dev nlohmann-json3-dev libtinyobjloader-dev libcpp-httplib-dev binutils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "coolwarm: all build dependencies are installed"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "coolwarm: missing packages: ${missing[*]} (run this script as root to install them)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"$(dirname "$0")/apt-update.sh"
apt-get install -y --no-install-recommends "${missing[@]}"
