#!/usr/bin/env bash
# Whole-process times of two builds of quillorn smoothing the same maps:
# terrain and random bytes (which keep every pass busy), "-smo" with several
# pass counts, every case of both builds run interleaved, several times.
# Prints the median wall and processor time (user and system, through perf
# stat) of each, and the second build's processor time over the first's.
# The outputs must be the same, byte for byte, or it stops.
#
# Used to decide between smoothing engines: build one binary per engine (for
# instance with -DQUILLORN_PORTABLE_KERNELS=ON, the engine choice changed in
# one of them) and compare them on the shape in question.
#
#   bench/smoothing_builds.sh <first quillorn> <second quillorn> \
#     [width] [height] [repetitions] [passes...]
set -euo pipefail
first="$1"
second="$2"
width="${3:-511}"
height="${4:-8192}"
reps="${5:-9}"
shift $(($# < 5 ? $# : 5))
passes=("$@")
[ ${#passes[@]} -gt 0 ] || passes=(1 4 16 64)
here="$(cd "$(dirname "$0")/.." && pwd)"
work="${BENCH_DIR:-$here/build/release/bench}"
mkdir -p "$work"
maker="${MAKE_HEIGHTMAP:-$here/build/release/make_heightmap}"
kinds=(terrain random)
for kind in "${kinds[@]}"; do
  map="$work/${kind}_${width}x${height}.bmp"
  [ -f "$map" ] || "$maker" "$map" "$width" "$height" --kind "$kind" >/dev/null
done

# Prints "wall cpu" in seconds for one run, its output discarded.
times() {
  local start end
  start=$(date +%s.%N)
  perf stat -x, -e task-clock -o "$work/clock.txt" "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$(echo "$end - $start" | bc -l)" \
    "$(awk -F, '/task-clock/ {print $1 / 1000}' "$work/clock.txt")"
}

median() {
  sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'
}

for kind in "${kinds[@]}"; do
  map="$work/${kind}_${width}x${height}.bmp"
  for p in "${passes[@]}"; do
    "$first" "$map" "$work/first.bmp" -smo "$p" >"$work/first.txt" 2>&1
    "$second" "$map" "$work/second.bmp" -smo "$p" >"$work/second.txt" 2>&1
    cmp -s "$work/first.bmp" "$work/second.bmp" ||
      { echo "outputs differ: $kind -smo $p" >&2; exit 1; }
    cmp -s "$work/first.txt" "$work/second.txt" ||
      { echo "messages differ: $kind -smo $p" >&2; exit 1; }
  done
done

results="$work/smoothing_builds.txt"
: >"$results"
for ((rep = 0; rep < reps; ++rep)); do
  for kind in "${kinds[@]}"; do
    map="$work/${kind}_${width}x${height}.bmp"
    for p in "${passes[@]}"; do
      for build in first second; do
        bin="$first"
        [ "$build" = first ] || bin="$second"
        echo "$kind $p $build $(times "$bin" "$map" "$work/out.bmp" -smo "$p")" \
          >>"$results"
      done
    done
  done
done

printf '%-8s %6s  %21s  %21s  %s\n' map passes "first wall / cpu (s)" \
  "second wall / cpu (s)" "second / first (cpu)"
for kind in "${kinds[@]}"; do
  for p in "${passes[@]}"; do
    line="$(printf '%-8s %6s' "$kind" "$p")"
    declare -A cpu=()
    for build in first second; do
      wall=$(awk -v k="$kind" -v p="$p" -v b="$build" \
        '$1 == k && $2 == p && $3 == b {print $4}' "$results" | median)
      cpu[$build]=$(awk -v k="$kind" -v p="$p" -v b="$build" \
        '$1 == k && $2 == p && $3 == b {print $5}' "$results" | median)
      line="$line  $(printf '%9.3f / %9.3f' "$wall" "${cpu[$build]}")"
    done
    echo "$line  $(printf '%.3f' "$(echo "${cpu[second]} / ${cpu[first]}" | bc -l)")"
  done
done
