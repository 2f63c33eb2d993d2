#!/usr/bin/env bash
# CI stage: the two Windows deliverables, cross-built with MinGW-w64 and tested
# under Wine: coolwarm.mll (64-bit) and zarn_coolwarm.dll (32-bit).
#
# 32-bit Wine (wine32:i386) comes from the i386 architecture, whose indexes can
# lag behind amd64's on a mirror mid-sync. When it can't be installed even from
# the versions both architectures share, the stage still builds both presets and
# runs every test that needs no 32-bit Wine, says loudly what it left out, and
# passes: a mirror's state is not the project's fault.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
./scripts/apt-update.sh
apt-get install -y --no-install-recommends cmake make binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 \
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine wine64

# Installs wine32:i386; on failure leaves the reason in $wine32_problem.
wine32_problem=
install_wine32() {
  local log
  log=$(mktemp)
  if apt-get install -y --no-install-recommends wine32:i386 >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi
  grep -E '^E:|not installable' "$log" | head -3
  echo "windows: wine32:i386 can't be installed from the newest versions; retrying with the base suite's"
  echo "windows: versions, which both architectures have (this may downgrade security updates on this machine)"
  # Multi-Arch "same" libraries need one version on both architectures. A pin
  # on the base suite makes both take its version for this one install.
  local pin=/etc/apt/preferences.d/coolwarm-wine32-base-suite
  printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n' \
    "$(. /etc/os-release && echo "$VERSION_CODENAME")" >"$pin"
  local status=0
  apt-get install -y --no-install-recommends --allow-downgrades wine32:i386 >"$log" 2>&1 || status=$?
  rm -f "$pin"
  if [ "$status" -eq 0 ]; then
    echo "windows: wine32:i386 installed from the base suite's versions"
    rm -f "$log"
    return 0
  fi
  wine32_problem="wine32:i386 can't be installed: $(grep -m1 '^E:' "$log" | sed 's/^E: //')"
  rm -f "$log"
  return 1
}
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  install_wine32 || true
fi

cmake --preset mingw-x64
cmake --build --preset mingw-x64 -j2
ctest --preset mingw-x64 -j2

cmake --preset mingw-x86
cmake --build --preset mingw-x86 -j2
if [ -z "$wine32_problem" ]; then
  ctest --preset mingw-x86 -j2
else
  # The tests that run no 32-bit program: they read the built DLL's tables and code.
  ctest --preset mingw-x86 -j2 -LE wine
  echo "windows: 32-bit tests NOT RUN: $wine32_problem"
fi
