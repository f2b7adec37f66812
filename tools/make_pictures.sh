#!/usr/bin/env bash
# Makes the README's pictures from the tool's own output: a generated sample
# height map before and after "-sca 0 -smo 4", rendered as grey PNGs under
# docs/. Needs the release build and Pillow (python3-pil).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bin/make_heightmap" "$work/sample.bmp" 384 256 --seed 7
"$bin/quillorn" "$work/sample.bmp" "$work/smoothed.bmp" -sca 0 -smo 4
/usr/bin/python3 tools/render_heights.py "$work/sample.bmp" docs/sample_before.png
/usr/bin/python3 tools/render_heights.py "$work/smoothed.bmp" docs/sample_after.png
