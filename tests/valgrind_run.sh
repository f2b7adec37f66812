#!/usr/bin/env bash
# Runs one conversion with every switch, on an odd-width top-down map with a
# tail, under valgrind memcheck: any invalid access or leak fails the test.
# usage: valgrind_run.sh <valgrind> <quillorn> <make_heightmap>
set -euo pipefail
valgrind="$1" quillorn="$2" make_heightmap="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$make_heightmap" "$work/in.bmp" 67 45 --top-down --tail 7
for bits in 24 8; do
  [ "$bits" = 8 ] && "$make_heightmap" "$work/in.bmp" 67 45 --8bit --tail 3
  "$valgrind" --quiet --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=all --show-leak-kinds=all \
    "$quillorn" "$work/in.bmp" "$work/out.bmp" -sca 0 -smo 3 -min 12 >"$work/log"
  tail -n 1 "$work/log" | grep -qx 'Done!'
  echo "$bits-bit input: clean"
done
