#!/usr/bin/env bash
# Refreshes apt's package indexes in a way that survives a mirror caught
# mid-sync: each download is retried, and a failed run is tried again after a
# pause. If indexes still fail, and every one that failed is for a foreign
# architecture (the i386 indexes that 32-bit Wine needs), the native indexes
# are good and this says so and succeeds; whoever installs foreign packages
# copes with the lag (see .ci/windows.sh). Any other failure fails.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
pause="${COOLWARM_APT_RETRY_PAUSE:-20}"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

update() {
  apt-get -o Acquire::Retries=3 update >"$log" 2>&1 && ! grep -q '^[EW]: Failed to fetch' "$log"
}

if update; then
  echo "apt: package indexes up to date"
  exit 0
fi
echo "apt: some package indexes failed to download; trying again in ${pause} s"
sleep "$pause"
if update; then
  echo "apt: package indexes up to date on the second try"
  exit 0
fi

native=$(dpkg --print-architecture)
failed=$(grep -E '^[EW]: Failed to fetch' "$log" | awk '{print $5}' || true)
if [ -z "$failed" ]; then
  cat "$log" >&2
  echo "apt: apt-get update failed (see above)" >&2
  exit 1
fi
foreign_only=1
while read -r url; do
  case "$url" in
  */binary-"$native"/* | */binary-all/* | */i18n/* | */InRelease | */Release) foreign_only=0 ;;
  */binary-*/*) ;;
  *) foreign_only=0 ;;
  esac
done <<<"$failed"
if [ "$foreign_only" -eq 0 ]; then
  grep -E '^[EW]: ' "$log" >&2
  echo "apt: package indexes for $native failed to download twice; giving up" >&2
  exit 1
fi
echo "apt: WARNING: foreign-architecture indexes failed to download twice (mirror out of step?):"
sed 's/^/apt:   /' <<<"$failed"
echo "apt: the $native indexes are up to date; going on without the failed ones"
