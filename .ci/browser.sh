#!/usr/bin/env bash
# CI stage: the lookdev page in headless Chromium. Installs the browser, lets
# CMake find it, and runs the page's tests.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends chromium
cmake -S . -B build
cmake --build build -j2
ctest --test-dir build --output-on-failure -R '^Page\.'
