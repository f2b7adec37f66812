#!/usr/bin/env bash
# The tool against its peers in one run, on one machine: the plain
# conversion and smoothing against cp (bench/run.sh, three kinds of map),
# resampling against gdal_translate's cubic (bench/geotiff.sh, terrain and
# random heights, up and down, TIFF to TIFF and to raw) and the nodata fill
# against gdal_fillnodata.py (bench/fill.sh, sparse and far from data).
# Each part interleaves the tool with its peer; this prints the machine
# (processor, cores, kernel) and the load before and after each part, so
# that the figures of one run can be quoted together.
#
#   bench/peers.sh [repetitions]     (default 5; processor time, least of
#                                     the runs for run.sh, medians for the rest)
set -euo pipefail
cd "$(dirname "$0")/.."
reps="${1:-5}"
load() { echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"; }
cpu() { lscpu | sed -n "s/^$1: *//p"; }
echo "machine: $(cpu 'Model name'), family $(cpu 'CPU family') model" \
  "$(cpu Model), $(nproc) cores, $(uname -sr), $(date -u +%Y-%m-%dT%H:%MZ)"
echo "== cp, plain conversion and smoothing (bench/run.sh)"
load
BENCH_CLOCK=cpu BENCH_STAT=min BENCH_EXTRAS=no bench/run.sh 8192 "$reps"
echo "== resampling against gdal_translate (bench/geotiff.sh)"
load
BENCH_TASKS="reduce enlarge reduce_raw enlarge_raw" bench/geotiff.sh 8193 "$reps"
echo "== nodata fill against gdal_fillnodata.py (bench/fill.sh)"
load
bench/fill.sh "$reps" "$(((reps + 1) / 2))"
load
