#!/usr/bin/env bash
# Makes the README's pictures with the tool's own relief view: a generated
# sample height map before and after "-sca 0 -smo 4", as PNGs under docs/.
# Needs the release build with PNG support.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bin/make_heightmap" "$work/sample.bmp" 384 256 --seed 7
"$bin/quillorn" "$work/sample.bmp" "$work/copy.bmp" \
  -view docs/sample_before.png >/dev/null
"$bin/quillorn" "$work/sample.bmp" "$work/smoothed.bmp" -sca 0 -smo 4 \
  -view docs/sample_after.png >/dev/null
