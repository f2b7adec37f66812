#!/usr/bin/env bash
# Whole-process benchmark on three kinds of generated height map (default
# 8192 x 8192, 24-bit): terrain, a grey map whose peaks are painted white
# (red = green = blue; white decodes to 65280) and random bytes. Times cp,
# the plain conversion (a bitmap to a bitmap: its rows copied, no planes),
# the same through the planes ("-smo 0"), "-smo 1" and "-smo 16" on each; on the terrain also
# "-smo 4", "-sca 0 -min 100", the conversions to and from raw heights, PGM
# and PNG, and the relief picture (not with BENCH_EXTRAS=no). Every case
# runs interleaved with the others, several times, and medians are printed,
# with the ratio to cp and the cost per pixel of the stages (each against
# the run through the planes). With BENCH_OLD
# set to another build's quillorn, its plain conversion and smoothing run
# interleaved too, and its outputs are first compared with this build's,
# byte for byte, on every kind of map. bench/memory.sh checks the peaks.
#
#   [BENCH_OLD=path/to/quillorn] [BENCH_KINDS="terrain grey random"] \
#     [BENCH_CLOCK=cpu] [BENCH_EXTRAS=no] [BENCH_STAT=min] \
#     bench/run.sh [size] [repetitions]
set -euo pipefail
cd "$(dirname "$0")/.."
size="${1:-8192}"
reps="${2:-7}"
kinds=(${BENCH_KINDS:-terrain grey random})
# The release build as it is configured: configured here only where it has
# never been, so that a bench never changes its settings (CI's among them).
[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
cmake --build --preset release --target quillorn make_heightmap >/dev/null
bin=build/release
work="${BENCH_DIR:-$bin/bench}"
mkdir -p "$work"
pixels=$((size * size))
old="${BENCH_OLD:-}"
for kind in "${kinds[@]}"; do
  map="$work/${kind}_${size}.bmp"
  [ -f "$map" ] || "$bin/make_heightmap" "$map" "$size" "$size" --kind "$kind"
done
terrain="$work/terrain_${size}.bmp"

# Seconds of wall time for one command (output discarded); with
# BENCH_CLOCK=cpu, of processor time (user and system, through perf stat),
# which other work on the machine disturbs far less.
clock="${BENCH_CLOCK:-wall}"
seconds() {
  local start end
  if [ "$clock" = cpu ]; then
    perf stat -x, -e task-clock -o "$work/clock.txt" "$@" >/dev/null 2>&1
    awk -F, '/task-clock/ {print $1 / 1000}' "$work/clock.txt"
    return
  fi
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

# The median of the runs, or with BENCH_STAT=min their least: on a loaded
# machine the least disturbed.
median() {
  if [ "${BENCH_STAT:-median}" = min ]; then sort -g | head -n 1; return; fi
  sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'
}

# The other build's outputs must be this build's, byte for byte.
if [ -n "$old" ]; then
  for kind in "${kinds[@]}"; do
    for switches in "" "-smo 1" "-smo 4" "-smo 16" "-sca 0 -smo 2 -min 7"; do
      # shellcheck disable=SC2086
      "$bin/quillorn" "$work/${kind}_${size}.bmp" "$work/new.bmp" $switches >/dev/null 2>&1
      # shellcheck disable=SC2086
      "$old" "$work/${kind}_${size}.bmp" "$work/old.bmp" $switches >/dev/null 2>&1
      if cmp -s "$work/new.bmp" "$work/old.bmp"; then
        printf '  same output as the other build: %-8s %s\n' "$kind" "${switches:-plain}"
      else
        printf '  OUTPUT DIFFERS from the other build: %s %s\n' "$kind" "${switches:-plain}"
        exit 1
      fi
    done
  done
  rm -f "$work/new.bmp" "$work/old.bmp"
fi

declare -A times
cases=()
for kind in "${kinds[@]}"; do
  cases+=("$kind:cp" "$kind:plain" "$kind:planes" "$kind:smooth1" "$kind:smooth16")
  [ -n "$old" ] && cases+=("$kind:old_plain" "$kind:old_planes" "$kind:old_smooth1" "$kind:old_smooth16")
done
extra=false
if [[ " ${kinds[*]} " == *" terrain "* ]] && [ "${BENCH_EXTRAS:-yes}" = yes ]; then
  extra=true
  cases+=(terrain:smooth4 terrain:normalize_min terrain:to_raw terrain:from_raw
    terrain:to_pgm terrain:from_pgm terrain:view)
  raw="$work/terrain_${size}.r16"
  [ -f "$raw" ] || "$bin/quillorn" "$terrain" "$raw" >/dev/null
  "$bin/quillorn" "$terrain" "$work/map.pgm" >/dev/null
  if "$bin/quillorn" --version | grep -q 'PNG ('; then
    cases+=(terrain:to_png terrain:from_png)
    "$bin/quillorn" "$terrain" "$work/map.png" >/dev/null
  fi
fi
# The command of a case, in cmd.
command_of() {
  local map="$work/${1%%:*}_${size}.bmp" out="$work/out.bmp"
  case "${1#*:}" in
    cp) cmd=(cp "$map" "$work/copy.bmp") ;;
    plain) cmd=("$bin/quillorn" "$map" "$out") ;;
    planes) cmd=("$bin/quillorn" "$map" "$out" -smo 0) ;;
    smooth1) cmd=("$bin/quillorn" "$map" "$out" -smo 1) ;;
    smooth4) cmd=("$bin/quillorn" "$map" "$out" -smo 4) ;;
    smooth16) cmd=("$bin/quillorn" "$map" "$out" -smo 16) ;;
    old_plain) cmd=("$old" "$map" "$out") ;;
    old_planes) cmd=("$old" "$map" "$out" -smo 0) ;;
    old_smooth1) cmd=("$old" "$map" "$out" -smo 1) ;;
    old_smooth16) cmd=("$old" "$map" "$out" -smo 16) ;;
    normalize_min) cmd=("$bin/quillorn" "$map" "$out" -sca 0 -min 100) ;;
    to_raw) cmd=("$bin/quillorn" "$map" "$work/out.r16") ;;
    from_raw) cmd=("$bin/quillorn" "$raw" "$out") ;;
    to_pgm) cmd=("$bin/quillorn" "$map" "$work/out.pgm") ;;
    from_pgm) cmd=("$bin/quillorn" "$work/map.pgm" "$out") ;;
    to_png) cmd=("$bin/quillorn" "$map" "$work/out.png") ;;
    from_png) cmd=("$bin/quillorn" "$work/map.png" "$out") ;;
    view) cmd=("$bin/quillorn" "$map" "$out" -view "$work/view.bmp") ;;
  esac
}
for kind in "${kinds[@]}"; do cat "$work/${kind}_${size}.bmp" >/dev/null; done
for ((rep = 0; rep < reps; ++rep)); do
  for name in "${cases[@]}"; do
    rm -f "$work/copy.bmp" "$work/out.bmp" "$work/out.r16" "$work/out.pgm" \
      "$work/out.png" "$work/view.bmp"
    command_of "$name"
    times[$name]+="$(seconds "${cmd[@]}") "
  done
done
rm -f "$work/copy.bmp" "$work/out.bmp" "$work/out.r16" "$work/out.pgm" \
  "$work/out.png" "$work/view.bmp"
declare -A med
for name in "${cases[@]}"; do
  med[$name]=$(tr ' ' '\n' <<<"${times[$name]}" | grep . | median)
done

# Smoothing per pixel per pass: the run with passes against the one through
# the planes without any.
per_pass() {  # name, name of the run without passes, passes
  echo "(${med[$1]} - ${med[$2]}) * 1000000000 / ($pixels * $3)" | bc -l
}
printf '%s x %s (%s pixels), %s of %s interleaved runs, %s time\n' "$size" "$size" "$pixels" \
  "$([ "${BENCH_STAT:-median}" = min ] && echo least || echo medians)" "$reps" "$clock"
for kind in "${kinds[@]}"; do
  k="$kind:"
  printf '%s map (%s bytes):\n' "$kind" "$(stat -c %s "$work/${kind}_${size}.bmp")"
  for name in "${cases[@]}"; do
    [[ "$name" == "$k"* ]] && printf '  %-14s %8.3f s\n' "${name#*:}" "${med[$name]}"
  done
  printf '  plain / cp:          %.2f (target <= 1.6)\n' "$(echo "${med[${k}plain]} / ${med[${k}cp]}" | bc -l)"
  printf '  planes / cp:         %.2f\n' "$(echo "${med[${k}planes]} / ${med[${k}cp]}" | bc -l)"
  printf '  -smo 1:              %.3f ns per pixel (target <= 0.8)\n' "$(per_pass "${k}smooth1" "${k}planes" 1)"
  printf '  -smo 16:             %.3f ns per pixel per pass (target <= 0.25)\n' "$(per_pass "${k}smooth16" "${k}planes" 16)"
  if [ -n "$old" ]; then
    printf '  the other build:     plain %.3f s (%.2f x cp), -smo 1 %.3f ns, -smo 16 %.3f ns\n' \
      "${med[${k}old_plain]}" "$(echo "${med[${k}old_plain]} / ${med[${k}cp]}" | bc -l)" \
      "$(per_pass "${k}old_smooth1" "${k}old_planes" 1)" \
      "$(per_pass "${k}old_smooth16" "${k}old_planes" 16)"
  fi
done
if $extra; then
  printf 'terrain, the other stages and formats:\n'
  printf '  -smo 4:                      %.3f ns per pixel per pass\n' "$(per_pass terrain:smooth4 terrain:planes 4)"
  printf '  normalize + scale + minimum: %.3f ns per pixel (three stages)\n' \
    "$(echo "(${med[terrain:normalize_min]} - ${med[terrain:planes]}) * 1000000000 / $pixels" | bc -l)"
  for name in to_raw from_raw to_pgm from_pgm to_png from_png; do
    [ -n "${med[terrain:$name]:-}" ] || continue
    printf '  %-9s / planes:          %.2f\n' "$name" "$(echo "${med[terrain:$name]} / ${med[terrain:planes]}" | bc -l)"
  done
  printf '  relief picture:              %.3f ns per pixel\n' \
    "$(echo "(${med[terrain:view]} - ${med[terrain:planes]}) * 1000000000 / $pixels" | bc -l)"
fi
