#!/usr/bin/env bash
# The shader library exports exactly its three entry points and leaves no
# renderer function for the loader to resolve.
set -euo pipefail
lib="$1"
undefined=$(nm -D --undefined-only "$lib" | awk '{print $NF}' | grep -E '^mi_' || true)
if [ -n "$undefined" ]; then
  echo "undefined renderer functions in $lib: $undefined"
  exit 1
fi
exported=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRW]$/ {print $3}' | sort | tr '\n' ' ')
expected="miSetModuleHandle zarn_coolwarm zarn_coolwarm_version "
if [ "$exported" != "$expected" ]; then
  echo "exports of $lib: '$exported', expected '$expected'"
  exit 1
fi
echo "exports of $lib: $exported"
