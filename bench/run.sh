#!/usr/bin/env bash
# Whole-process benchmark on a generated height map (default 8192 x 8192,
# 24-bit): times cp, the plain conversion, "-smo 4", "-smo 16" and "-sca 0
# -min 100", the conversions to and from raw heights, PGM and PNG, and the
# relief picture, interleaved, several times each, and prints medians, the
# ratio to cp, the cost per pixel of the stages, and peak memory. With
# BENCH_OLD set to another build's quillorn, its plain conversion and
# smoothing run interleaved with the rest, for a fair comparison on a
# machine whose speed drifts.
#
#   [BENCH_OLD=path/to/quillorn] bench/run.sh [size] [repetitions]
set -euo pipefail
cd "$(dirname "$0")/.."
size="${1:-8192}"
reps="${2:-7}"
cmake --preset release >/dev/null
cmake --build --preset release --target quillorn make_heightmap >/dev/null
bin=build/release
work="${BENCH_DIR:-$bin/bench}"
mkdir -p "$work"
map="$work/map_${size}.bmp"
[ -f "$map" ] || "$bin/make_heightmap" "$map" "$size" "$size"
pixels=$((size * size))

# Seconds of wall time for one command (output discarded).
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

declare -A times
cases=(cp plain smooth4 smooth16 normalize_min to_raw from_raw to_pgm from_pgm
  view)
old="${BENCH_OLD:-}"
if [ -n "$old" ]; then cases+=(old_plain old_smooth4 old_smooth16); fi
if "$bin/quillorn" --version | grep -q 'PNG ('; then cases+=(to_png from_png); fi
raw="$work/map_${size}.r16"
[ -f "$raw" ] || "$bin/quillorn" "$map" "$raw" >/dev/null
"$bin/quillorn" "$map" "$work/map.pgm" >/dev/null
if [[ " ${cases[*]} " == *" to_png "* ]]; then
  "$bin/quillorn" "$map" "$work/map.png" >/dev/null
fi
run_case() {
  case "$1" in
    cp) cp "$map" "$work/copy.bmp" ;;
    plain) "$bin/quillorn" "$map" "$work/out.bmp" ;;
    smooth4) "$bin/quillorn" "$map" "$work/out.bmp" -smo 4 ;;
    smooth16) "$bin/quillorn" "$map" "$work/out.bmp" -smo 16 ;;
    old_plain) "$old" "$map" "$work/out.bmp" ;;
    old_smooth4) "$old" "$map" "$work/out.bmp" -smo 4 ;;
    old_smooth16) "$old" "$map" "$work/out.bmp" -smo 16 ;;
    normalize_min) "$bin/quillorn" "$map" "$work/out.bmp" -sca 0 -min 100 ;;
    to_raw) "$bin/quillorn" "$map" "$work/out.r16" ;;
    from_raw) "$bin/quillorn" "$raw" "$work/out.bmp" ;;
    to_pgm) "$bin/quillorn" "$map" "$work/out.pgm" ;;
    from_pgm) "$bin/quillorn" "$work/map.pgm" "$work/out.bmp" ;;
    to_png) "$bin/quillorn" "$map" "$work/out.png" ;;
    from_png) "$bin/quillorn" "$work/map.png" "$work/out.bmp" ;;
    view) "$bin/quillorn" "$map" "$work/out.bmp" -view "$work/view.bmp" ;;
  esac
}
cat "$map" >/dev/null  # warm the page cache
for ((rep = 0; rep < reps; ++rep)); do
  for name in "${cases[@]}"; do
    rm -f "$work/copy.bmp" "$work/out.bmp" "$work/out.r16" "$work/out.pgm" \
      "$work/out.png" "$work/view.bmp"
    times[$name]+="$(seconds run_case "$name") "
  done
done
declare -A med
for name in "${cases[@]}"; do
  med[$name]=$(tr ' ' '\n' <<<"${times[$name]}" | grep . | median)
done

peak() {  # maximum resident set, KiB
  /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F: '/Maximum resident/ {gsub(/ /, "", $2); print $2}'
}
peak_plain=$(peak "$bin/quillorn" "$map" "$work/out.bmp")
peak_smooth=$(peak "$bin/quillorn" "$map" "$work/out.bmp" -smo 16)
peak_norm=$(peak "$bin/quillorn" "$map" "$work/out.bmp" -sca 0 -min 100)
rm -f "$work/copy.bmp" "$work/out.bmp"

printf '%s x %s (%s pixels, %s bytes), median of %s runs\n' "$size" "$size" "$pixels" "$(stat -c %s "$map")" "$reps"
for name in "${cases[@]}"; do printf '  %-16s %8.3f s\n' "$name" "${med[$name]}"; done
printf '  plain / cp:                  %.2f (target <= 1.5)\n' "$(echo "${med[plain]} / ${med[cp]}" | bc -l)"
# Smoothing per pixel per pass: the run with passes against the plain one.
per_pass() {  # name, plain name, passes
  echo "(${med[$1]} - ${med[$2]}) * 1000000000 / ($pixels * $3)" | bc -l
}
printf '  smoothing, per pixel, pass:  -smo 4 %.3f ns, -smo 16 %.3f ns (target <= 0.4)\n' \
  "$(per_pass smooth4 plain 4)" "$(per_pass smooth16 plain 16)"
if [ -n "$old" ]; then
  printf '  the other build:             -smo 4 %.3f ns, -smo 16 %.3f ns (plain %.3f s)\n' \
    "$(per_pass old_smooth4 old_plain 4)" "$(per_pass old_smooth16 old_plain 16)" \
    "${med[old_plain]}"
fi
printf '  normalize + scale + minimum: %.3f ns per pixel (three stages)\n' \
  "$(echo "(${med[normalize_min]} - ${med[plain]}) * 1000000000 / $pixels" | bc -l)"
for name in to_raw from_raw to_pgm from_pgm to_png from_png; do
  [ -n "${med[$name]:-}" ] || continue
  printf '  %-9s / plain:           %.2f (target <= 1.5 for raw and PGM)\n' \
    "$name" "$(echo "${med[$name]} / ${med[plain]}" | bc -l)"
done
printf '  relief picture:              %.3f ns per pixel\n' \
  "$(echo "(${med[view]} - ${med[plain]}) * 1000000000 / $pixels" | bc -l)"
# A wide map too, where the smoothing's working bands are widest.
wide="$work/map_20000x2000.bmp"
[ -f "$wide" ] || "$bin/make_heightmap" "$wide" 20000 2000
peak_wide=$(peak "$bin/quillorn" "$wide" "$work/out.bmp" -smo 16)
limit_wide=$(echo "(3.5 * 40000000 + 16 * 1048576) / 1024" | bc)
rm -f "$work/out.bmp"
limit=$(echo "(3.5 * $pixels + 16 * 1048576) / 1024" | bc)
printf '  peak memory: plain %s KiB, -smo 16 %s KiB, -sca 0 -min 100 %s KiB (limit %s KiB)\n' \
  "$peak_plain" "$peak_smooth" "$peak_norm" "$limit"
printf '  peak memory, 20000 x 2000 with -smo 16: %s KiB (limit %s KiB)\n' \
  "$peak_wide" "$limit_wide"
