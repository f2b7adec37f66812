#!/usr/bin/env bash
# Runs conversions that use every switch between them, on an odd-width
# top-down map with a tail, 24-bit and 8-bit, under valgrind memcheck: any
# invalid access or leak fails the test.
# usage: valgrind_run.sh <valgrind> <quillorn> <make_heightmap>
set -euo pipefail
valgrind="$1" quillorn="$2" make_heightmap="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
picture=bmp tiff=""
"$quillorn" --version >"$work/version"
grep -q 'PNG (' "$work/version" && picture=png
grep -q 'TIFF (' "$work/version" && tiff=yes
check() {
  "$valgrind" --quiet --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=all --show-leak-kinds=all \
    "$quillorn" "$@" >"$work/log" 2>"$work/errors"
  tail -n 1 "$work/log" | grep -qx 'Done!'
}
"$make_heightmap" "$work/in.bmp" 67 45 --top-down --tail 7
for bits in 24 8; do
  [ "$bits" = 8 ] && "$make_heightmap" "$work/in.bmp" 67 45 --8bit --tail 3
  check "$work/in.bmp" "$work/out.bmp" -sca 0 -smo 3 -min 12 \
    -view "$work/view.$picture"
  # The map's shape: turned, resampled and cut, in big-endian raw tiles.
  check "$work/in.bmp" "$work/tiles.r16" -rotate 90 -flip horizontal \
    -size 41x31 -filter mitchell -tiles 2x3 -order big
  check "$work/tiles_x0_y0.r16" "$work/back.bmp" -dim 21x11 -order big \
    -fit unity
  echo "$bits-bit input: clean"
done
# Elevation samples: an SRTM tile in steps of 2, its voids filled, out to
# TIFF and back.
"$quillorn" "$work/in.bmp" "$work/tile.r16" -size 45x45 -order big >/dev/null
mv "$work/tile.r16" "$work/N00E000.hgt"
if [ -n "$tiff" ]; then
  check "$work/N00E000.hgt" "$work/out.tif" -unit 2 -fill 3 -world
  check "$work/out.tif" "$work/back.r16"
else
  check "$work/N00E000.hgt" "$work/out.r16" -unit 2 -fill 3 -world
fi
echo "elevation samples: clean"
