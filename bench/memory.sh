#!/usr/bin/env bash
# Peak memory of whole runs against the promised bound, 3.5 bytes per pixel
# + 24 per row + 24 per column + 16 MiB, on every shape that strains one of
# its terms, every format in both directions and the relief picture in both
# formats; and of runs that change the grid against theirs: a resampled run
# 3.5 bytes per source pixel + 3 per result pixel + 24 per row and column of
# either + 64 per source column (the resampler's rows) + 24 MiB, a quarter
# turn of a map that is not square 3 bytes a pixel more. Float maps (raw
# floats in, kept as floats through the stages) have 4.5 bytes a pixel for
# the 3.5, whether written as floats or made 16-bit heights at the end.
# Prints a table (KiB) and exits 1 if any run exceeds its bound.
#
#   bench/memory.sh [shape ...]     # shapes as WxH; default: all below
set -euo pipefail
cd "$(dirname "$0")/.."
# The release build as it is configured: configured here only where it has
# never been, so that a bench never changes its settings (CI's among them).
[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
cmake --build --preset release --target quillorn make_heightmap >/dev/null
bin=build/release
work="${BENCH_DIR:-$bin/bench}"
mkdir -p "$work"
shapes=("$@")
if [ "${#shapes[@]}" -eq 0 ]; then
  shapes=(1x4000000 3x3000000 8192x8192 20000x2000 2000000x20 16777216x1)
fi
have_png=false
if "$bin/quillorn" --version | grep -q 'PNG ('; then have_png=true; fi
have_tiff=false
if "$bin/quillorn" --version | grep -q 'TIFF ('; then have_tiff=true; fi

peak() {  # maximum resident set of a run, KiB
  /usr/bin/time -f '%M' -o "$work/peak.txt" "$@" >/dev/null 2>&1
  cat "$work/peak.txt"
}

failed=0
printf '%-12s %-22s %10s %10s %6s\n' shape run peak_KiB bound_KiB share
for shape in "${shapes[@]}"; do
  width=${shape%x*}
  height=${shape#*x}
  map="$work/terrain_${shape}.bmp"
  [ -f "$map" ] || "$bin/make_heightmap" "$map" "$width" "$height"
  bound=$(( (7 * width * height / 2 + 24 * height + 24 * width + 16 * 1048576) / 1024 ))
  raw="$work/mem_in.r16"
  "$bin/quillorn" "$map" "$raw" >/dev/null
  "$bin/quillorn" "$map" "$work/mem_in.pgm" >/dev/null
  runs=("bmp-bmp -smo 16" "bmp-raw" "raw-bmp" "bmp-pgm" "pgm-bmp"
    "bmp-bmp -view bmp")
  if $have_png; then
    "$bin/quillorn" "$map" "$work/mem_in.png" >/dev/null
    runs+=("bmp-png" "png-bmp" "bmp-bmp -view png")
  fi
  if $have_tiff; then
    "$bin/quillorn" "$map" "$work/mem_in.tif" >/dev/null
    runs+=("bmp-tif" "tif-bmp")
  fi
  runs+=("bmp-bmp -size half" "bmp-bmp -rotate 90")
  "$bin/quillorn" "$map" "$work/mem_in.r32" >/dev/null
  runs+=("r32-r32 -smo 16" "r32-r16" "r32-bmp -view bmp")
  if $have_tiff; then runs+=("r32-tif"); fi
  for run in "${runs[@]}"; do
    rm -f "$work/mem_out".* "$work/mem_view".*
    case "$run" in
      "bmp-bmp -smo 16") args=("$map" "$work/mem_out.bmp" -smo 16 -sca 0 -min 3) ;;
      bmp-raw) args=("$map" "$work/mem_out.r16") ;;
      raw-bmp) args=("$raw" "$work/mem_out.bmp" -dim "${width}x${height}") ;;
      bmp-pgm) args=("$map" "$work/mem_out.pgm") ;;
      pgm-bmp) args=("$work/mem_in.pgm" "$work/mem_out.bmp") ;;
      bmp-png) args=("$map" "$work/mem_out.png") ;;
      png-bmp) args=("$work/mem_in.png" "$work/mem_out.bmp") ;;
      "bmp-bmp -view bmp") args=("$map" "$work/mem_out.bmp" -view "$work/mem_view.bmp") ;;
      "bmp-bmp -view png") args=("$map" "$work/mem_out.bmp" -view "$work/mem_view.png") ;;
      bmp-tif) args=("$map" "$work/mem_out.tif") ;;
      tif-bmp) args=("$work/mem_in.tif" "$work/mem_out.bmp") ;;
      "bmp-bmp -size half")
        args=("$map" "$work/mem_out.bmp" -size "$(( (width + 1) / 2 ))x$(( (height + 1) / 2 ))") ;;
      "bmp-bmp -rotate 90") args=("$map" "$work/mem_out.bmp" -rotate 90) ;;
      "r32-r32 -smo 16")
        args=("$work/mem_in.r32" "$work/mem_out.r32" -dim "${width}x${height}"
          -smo 16 -sca 0 -min 3) ;;
      r32-r16) args=("$work/mem_in.r32" "$work/mem_out.r16" -dim "${width}x${height}") ;;
      "r32-bmp -view bmp")
        args=("$work/mem_in.r32" "$work/mem_out.bmp" -dim "${width}x${height}"
          -view "$work/mem_view.bmp") ;;
      r32-tif) args=("$work/mem_in.r32" "$work/mem_out.tif" -dim "${width}x${height}") ;;
    esac
    limit=$bound
    case "$run" in
      r32-*) limit=$(( bound + width * height / 1024 )) ;;
    esac
    if [ "$run" = "bmp-bmp -size half" ]; then
      w2=$(( (width + 1) / 2 )); h2=$(( (height + 1) / 2 ))
      limit=$(( (7 * width * height / 2 + 3 * w2 * h2 + 24 * (height + h2)
        + 24 * (width + w2) + 64 * width + 24 * 1048576) / 1024 ))
    elif [ "$run" = "bmp-bmp -rotate 90" ] && [ "$width" -ne "$height" ]; then
      limit=$(( bound + 3 * width * height / 1024 ))
    fi
    used=$(peak "$bin/quillorn" "${args[@]}")
    mark=""
    if [ "$used" -gt "$limit" ]; then mark=" OVER"; failed=1; fi
    printf '%-12s %-22s %10s %10s %5.0f%%%s\n' "$shape" "$run" "$used" "$limit" \
      "$(echo "100 * $used / $limit" | bc -l)" "$mark"
  done
  rm -f "$work/mem_out".* "$work/mem_view".* "$work"/mem_in.*
done
exit "$failed"
