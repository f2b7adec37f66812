#!/usr/bin/env bash
# GeoTIFF against GDAL, whole process, side by side in one run: reading an
# 8193 x 8193 UInt16 deflate GeoTIFF (written by the tool) to raw heights
# (gdal_translate -of ENVI), writing it from raw heights with deflate and
# the horizontal predictor at the fastest level (the same options for
# gdal_translate), reducing it to 4097 x 4097 with the cubic kernel
# ("reduce") and enlarging a 2049 x 2049 one to 4097 x 4097 ("enlarge"), TIFF
# to TIFF with the same options, and both to raw heights ("reduce_raw",
# "enlarge_raw": the reading and the resampling without the deflate of the
# output, whose strips differ: the tool's of 256 KiB, GDAL's of a row); on
# generated terrain and on random heights.
# Interleaved in pairs, the tool then GDAL, several times, each run's line
# printed as it ends; then the medians of processor time (user + system) and
# of wall time, the peak memory (the most of any run) of each, and the ratio
# of processor times to GDAL's. Needs gdal_translate (Debian: gdal-bin).
#
#   bench/geotiff.sh [size] [repetitions]
#   BENCH_TASKS="reduce enlarge" bench/geotiff.sh    (some tasks alone)
#   BENCH_BEFORE=/path/to/quillorn bench/geotiff.sh  (another build of the
#       tool in each turn too, as "before": a change measured in one run)
set -euo pipefail
cd "$(dirname "$0")/.."
size="${1:-8193}"
reps="${2:-5}"
half=$(((size + 1) / 2))
quarter=$(((half + 1) / 2))
tasks="${BENCH_TASKS:-read write reduce enlarge reduce_raw enlarge_raw}"
command -v gdal_translate >/dev/null || {
  echo "gdal_translate not found (Debian: gdal-bin)" >&2
  exit 1
}
# The release build as it is configured: configured here only where it has
# never been, so that a bench never changes its settings (CI's among them).
[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
cmake --build --preset release -j2 --target quillorn make_heightmap >/dev/null
bin=build/release
work="${BENCH_DIR:-$bin/bench}"
mkdir -p "$work"
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
deflate=(-co COMPRESS=DEFLATE -co PREDICTOR=2 -co ZLEVEL=1)
echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
printf '%-8s %-11s %-8s %4s %8s %8s %8s\n' map task who run cpu_s wall_s MiB
declare -A summary=() before=() after=()
# Generated terrain, and random heights (which deflate cannot shrink and
# whose kernels swing the most).
for kind in terrain random; do
  map="$work/${kind}_$size"
  small="$work/${kind}_$quarter"
  [ -f "$map.bmp" ] ||
    "$bin/make_heightmap" "$map.bmp" "$size" "$size" --kind "$kind" >/dev/null
  [ -f "$map.tif" ] || "$bin/quillorn" "$map.bmp" "$map.tif" >/dev/null
  [ -f "$map.r16" ] || "$bin/quillorn" "$map.bmp" "$map.r16" >/dev/null
  [ -f "$small.bmp" ] ||
    "$bin/make_heightmap" "$small.bmp" "$quarter" "$quarter" --kind "$kind" \
      >/dev/null
  [ -f "$small.tif" ] || "$bin/quillorn" "$small.bmp" "$small.tif" >/dev/null
  # GDAL reads the same raw heights through an ENVI header.
  cp "$map.r16" "$map.envi"
  printf 'ENVI\nsamples = %d\nlines = %d\nbands = 1\nheader offset = 0\nfile type = ENVI Standard\ndata type = 12\ninterleave = bsq\nbyte order = 0\n' \
    "$size" "$size" >"$map.hdr"
  declare -A runs=(
    [read:quillorn]="$bin/quillorn $map.tif $work/out.r16"
    [read:gdal]="gdal_translate -q -of ENVI $map.tif $work/out.envi"
    [write:quillorn]="$bin/quillorn $map.r16 $work/out.tif"
    [write:gdal]="gdal_translate -q ${deflate[*]} $map.envi $work/out_gdal.tif"
    [reduce:quillorn]="$bin/quillorn $map.tif $work/half.tif -size ${half}x${half}"
    [reduce:gdal]="gdal_translate -q -outsize $half $half -r cubic ${deflate[*]} $map.tif $work/half_gdal.tif"
    [enlarge:quillorn]="$bin/quillorn $small.tif $work/double.tif -size ${half}x${half}"
    [enlarge:gdal]="gdal_translate -q -outsize $half $half -r cubic ${deflate[*]} $small.tif $work/double_gdal.tif"
    [reduce_raw:quillorn]="$bin/quillorn $map.tif $work/half.r16 -size ${half}x${half}"
    [reduce_raw:gdal]="gdal_translate -q -of ENVI -outsize $half $half -r cubic $map.tif $work/half_gdal.envi"
    [enlarge_raw:quillorn]="$bin/quillorn $small.tif $work/double.r16 -size ${half}x${half}"
    [enlarge_raw:gdal]="gdal_translate -q -of ENVI -outsize $half $half -r cubic $small.tif $work/double_gdal.envi"
  )
  declare -A times=() walls=() peaks=()
  for ((rep = 0; rep < reps; rep++)); do
    for task in $tasks; do
      for who in ${BENCH_BEFORE:+before} quillorn gdal; do
        name="$task:$who"
        command=${runs[$task:${who/before/quillorn}]}
        [ "$who" = before ] && command=${command/#$bin\/quillorn/$BENCH_BEFORE}
        /usr/bin/time -o "$work/time.txt" -f '%U %S %e %M' $command \
          >/dev/null 2>&1
        read -r user system wall peak <"$work/time.txt"
        cpu=$(echo "$user + $system" | bc)
        times[$name]+="$cpu "
        walls[$name]+="$wall "
        ((peak > ${peaks[$name]:-0})) && peaks[$name]=$peak
        printf '%-8s %-11s %-8s %4d %8.2f %8.2f %8d\n' "$kind" "$task" "$who" \
          "$rep" "$cpu" "$wall" $((peak / 1024))
      done
    done
  done
  for task in $tasks; do
    before[$kind:$task]="${times[$task:before]:-}"
    after[$kind:$task]="${times[$task:quillorn]}"
    ours=$(echo "${times[$task:quillorn]}" | median)
    theirs=$(echo "${times[$task:gdal]}" | median)
    summary[$kind:$task]=$(printf '%-8s %-11s %10s %10s %8s %8s %7.2f %13d %9d' \
      "$kind" "$task" "$ours" "$theirs" \
      "$(echo "${walls[$task:quillorn]}" | median)" \
      "$(echo "${walls[$task:gdal]}" | median)" \
      "$(echo "$ours / $theirs" | bc -l)" \
      $((peaks[$task:quillorn] / 1024)) $((peaks[$task:gdal] / 1024)))
  done
done
echo
echo "medians of $reps; load after: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %-11s %10s %10s %8s %8s %7s %13s %9s\n' map task quillorn_s \
  gdal_s wall_q wall_g ratio quillorn_MiB gdal_MiB
for kind in terrain random; do
  for task in $tasks; do echo "${summary[$kind:$task]}"; done
done
if [ -n "${BENCH_BEFORE:-}" ]; then
  echo "before ($BENCH_BEFORE), medians of processor time:"
  printf '%-8s %-11s %10s %10s %8s\n' map task before_s quillorn_s ratio
  for kind in terrain random; do
    for task in $tasks; do
      old=$(echo "${before[$kind:$task]}" | median)
      new=$(echo "${after[$kind:$task]}" | median)
      printf '%-8s %-11s %10s %10s %8.2f\n' "$kind" "$task" "$old" "$new" \
        "$(echo "$new / $old" | bc -l)"
    done
  done
fi
