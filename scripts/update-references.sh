#!/usr/bin/env bash
# Renders every image-regression case under tests/images again and stores the
# result as its reference. Run after a deliberate change of the look, from the
# source tree, with a built tree in build/ (or the folder given). Each case's
# command runs from its own folder, so it may name files kept beside it; a case
# with a `shapes` file runs where build/bin/shapeSurvey wrote those shapes.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
for case in "$here"/tests/images/*/; do
  args=$(cat "$case/command")
  from="$case"
  if [ -f "$case/shapes" ]; then
    from=$(mktemp -d)
    while read -r line; do
      # shellcheck disable=SC2086
      [ -n "$line" ] && "$build/bin/shapeSurvey" write "$from" $line
    done <"$case/shapes"
  fi
  # shellcheck disable=SC2086
  (cd "$from" && "$build/bin/coolwarm" $args --quiet --out "$case/reference.png")
  [ "$from" = "$case" ] || rm -rf "$from"
  echo "updated ${case%/}/reference.png"
done
