#!/usr/bin/env bash
# CI stage: the whole test suite under the thread sanitizer (the tsan preset).
# Embree, its task library and the image library are not instrumented; their
# reports are suppressed by tests/tsan.supp, and nothing of ours is.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset tsan
cmake --build --preset tsan -j2
ctest --preset tsan -j2
