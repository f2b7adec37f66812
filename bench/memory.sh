#!/usr/bin/env bash
# Peak memory of whole runs against the promised bound, 3.5 bytes per pixel
# + 24 per row + 24 per column + 16 MiB, on every shape that strains one of
# its terms, every format in both directions and the relief picture in both
# formats. Prints a table (KiB) and exits 1 if any run exceeds its bound.
#
#   bench/memory.sh [shape ...]     # shapes as WxH; default: all below
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
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
    esac
    used=$(peak "$bin/quillorn" "${args[@]}")
    mark=""
    if [ "$used" -gt "$bound" ]; then mark=" OVER"; failed=1; fi
    printf '%-12s %-22s %10s %10s %5.0f%%%s\n' "$shape" "$run" "$used" "$bound" \
      "$(echo "100 * $used / $bound" | bc -l)" "$mark"
  done
  rm -f "$work/mem_out".* "$work/mem_view".* "$work"/mem_in.*
done
exit "$failed"
