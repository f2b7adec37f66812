#!/usr/bin/env bash
# GeoTIFF against GDAL, whole process, side by side in one run: reading an
# 8193 x 8193 UInt16 deflate GeoTIFF (written by the tool) to raw heights
# (gdal_translate -of ENVI), writing it from raw heights with deflate and
# the horizontal predictor at the fastest level (the same options for
# gdal_translate), and resampling it to 4097 x 4097 with the cubic kernel;
# on generated terrain and on random heights.
# Interleaved, several times; prints the median processor time (user +
# system) and the peak memory of each, and the ratio to GDAL. Needs
# gdal_translate (Debian: gdal-bin).
#
#   bench/geotiff.sh [size] [repetitions]
set -euo pipefail
cd "$(dirname "$0")/.."
size="${1:-8193}"
reps="${2:-5}"
half=$(((size + 1) / 2))
command -v gdal_translate >/dev/null || {
  echo "gdal_translate not found (Debian: gdal-bin)" >&2
  exit 1
}
# The release build as it is configured: configured here only where it has
# never been, so that a bench never changes its settings (CI's among them).
[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
cmake --build --preset release --target quillorn make_heightmap >/dev/null
bin=build/release
work="${BENCH_DIR:-$bin/bench}"
mkdir -p "$work"
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
deflate=(-co COMPRESS=DEFLATE -co PREDICTOR=2 -co ZLEVEL=1)
printf '%-8s %-9s %12s %12s %7s %14s %14s\n' map task quillorn_s gdal_s ratio \
  quillorn_MiB gdal_MiB
# Generated terrain, and random heights (which deflate cannot shrink and
# whose kernels swing the most).
for kind in terrain random; do
  map="$work/${kind}_$size"
  [ -f "$map.bmp" ] ||
    "$bin/make_heightmap" "$map.bmp" "$size" "$size" --kind "$kind" >/dev/null
  [ -f "$map.tif" ] || "$bin/quillorn" "$map.bmp" "$map.tif" >/dev/null
  [ -f "$map.r16" ] || "$bin/quillorn" "$map.bmp" "$map.r16" >/dev/null
  # GDAL reads the same raw heights through an ENVI header.
  cp "$map.r16" "$map.envi"
  printf 'ENVI\nsamples = %d\nlines = %d\nbands = 1\nheader offset = 0\nfile type = ENVI Standard\ndata type = 12\ninterleave = bsq\nbyte order = 0\n' \
    "$size" "$size" >"$map.hdr"
  declare -A runs=(
    [read:quillorn]="$bin/quillorn $map.tif $work/out.r16"
    [read:gdal]="gdal_translate -q -of ENVI $map.tif $work/out.envi"
    [write:quillorn]="$bin/quillorn $map.r16 $work/out.tif"
    [write:gdal]="gdal_translate -q ${deflate[*]} $map.envi $work/out_gdal.tif"
    [resample:quillorn]="$bin/quillorn $map.tif $work/half.tif -size ${half}x${half}"
    [resample:gdal]="gdal_translate -q -outsize $half $half -r cubic ${deflate[*]} $map.tif $work/half_gdal.tif"
  )
  declare -A times=() peaks=()
  for ((rep = 0; rep < reps; rep++)); do
    for name in "${!runs[@]}"; do
      /usr/bin/time -o "$work/time.txt" -f '%U %S %M' ${runs[$name]} \
        >/dev/null 2>&1
      read -r user system peak <"$work/time.txt"
      times[$name]+="$(echo "$user + $system" | bc) "
      peaks[$name]=$peak
    done
  done
  for task in read write resample; do
    ours=$(echo "${times[$task:quillorn]}" | median)
    theirs=$(echo "${times[$task:gdal]}" | median)
    printf '%-8s %-9s %12s %12s %7.2f %14d %14d\n' "$kind" "$task" "$ours" \
      "$theirs" "$(echo "$ours / $theirs" | bc -l)" \
      $((peaks[$task:quillorn] / 1024)) $((peaks[$task:gdal] / 1024))
  done
done
