#!/usr/bin/env bash
# CI stage: the two Windows deliverables, cross-built with MinGW-w64 and tested
# under Wine: coolwarm.mll (64-bit) and zarn_coolwarm.dll (32-bit).
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

# 32-bit Wine needs the i386 architecture; without wine32 a 32-bit test program
# would print nothing (and its test fail on the missing result line).
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update
apt-get install -y --no-install-recommends cmake make binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 \
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine wine64 wine32:i386

for preset in mingw-x64 mingw-x86; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j2
  ctest --preset "$preset" -j2
done
