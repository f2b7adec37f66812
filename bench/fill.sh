#!/usr/bin/env bash
# Nodata fill against GDAL, whole process, side by side in one run, on two
# Float32 GeoTIFFs made with numpy and GDAL (nodata -32768):
#   sparse: 4000 x 4000 terrain of which one sample in 97 is valid, filled
#           at the default reach (quillorn: none given; gdal_fillnodata.py
#           -md 100);
#   far:    2000 x 2000 with only its top-left and bottom-right samples
#           valid, filled as far as 3000 samples (-fill 3000; -md 3000),
#           where most holes are far from both.
# The tool writes a Float32 TIFF, gdal_fillnodata.py its default GeoTIFF.
# Interleaved, several times; prints the median processor time (user +
# system), the peak memory of each and the ratio to GDAL. Needs
# gdal_fillnodata.py (Debian: python3-gdal) and Debian's python with numpy.
#
#   bench/fill.sh [repetitions] [far repetitions]
set -euo pipefail
cd "$(dirname "$0")/.."
reps="${1:-5}"
farReps="${2:-3}"
python=/usr/bin/python3
fillnodata=$(command -v gdal_fillnodata.py || command -v gdal_fillnodata) || {
  echo "gdal_fillnodata.py not found (Debian: python3-gdal)" >&2
  exit 1
}
# The release build as it is configured: configured here only where it has
# never been, so that a bench never changes its settings (CI's among them).
[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
cmake --build --preset release --target quillorn >/dev/null
bin=build/release
work="${BENCH_DIR:-$bin/bench}"
mkdir -p "$work"
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

[ -f "$work/fill_sparse.tif" ] && [ -f "$work/fill_far.tif" ] ||
  "$python" - "$work" <<'EOF'
import sys
import numpy as np
from osgeo import gdal

def write(path, heights):
    rows, columns = heights.shape
    out = gdal.GetDriverByName("GTiff").Create(path, columns, rows, 1,
                                               gdal.GDT_Float32)
    band = out.GetRasterBand(1)
    band.SetNoDataValue(-32768)
    band.WriteArray(heights)
    out = None

work = sys.argv[1]
n = 4000
y, x = np.mgrid[0:n, 0:n].astype(np.float32)
terrain = (900 + 300 * np.sin(x / 211) * np.cos(y / 157)
           + 40 * np.sin((x + 2 * y) / 23)).astype(np.float32)
flat = terrain.reshape(-1)
flat[np.arange(flat.size) % 97 != 0] = -32768
write(work + "/fill_sparse.tif", terrain)
far = np.full((2000, 2000), -32768, dtype=np.float32)
far[0, 0] = 100
far[-1, -1] = 900
write(work + "/fill_far.tif", far)
EOF

printf '%-7s %12s %12s %7s %14s %14s\n' map quillorn_s gdal_s ratio \
  quillorn_MiB gdal_MiB
for map in sparse far; do
  source="$work/fill_$map.tif"
  if [ "$map" = sparse ]; then
    ours=("$bin/quillorn" "$source" "$work/filled.tif")
    theirs=("$python" "$fillnodata" -q -md 100 "$source" "$work/filled_gdal.tif")
    count=$reps
  else
    ours=("$bin/quillorn" "$source" "$work/filled.tif" -fill 3000)
    theirs=("$python" "$fillnodata" -q -md 3000 "$source" "$work/filled_gdal.tif")
    count=$farReps
  fi
  declare -A times=() peaks=()
  for ((rep = 0; rep < count; rep++)); do
    for who in quillorn gdal; do
      rm -f "$work/filled.tif" "$work/filled_gdal.tif"
      if [ "$who" = quillorn ]; then run=("${ours[@]}"); else run=("${theirs[@]}"); fi
      /usr/bin/time -o "$work/time.txt" -f '%U %S %M' "${run[@]}" >/dev/null 2>&1
      read -r user system peak <"$work/time.txt"
      times[$who]+="$(echo "$user + $system" | bc) "
      peaks[$who]=$peak
    done
  done
  ourTime=$(echo "${times[quillorn]}" | median)
  theirTime=$(echo "${times[gdal]}" | median)
  printf '%-7s %12.2f %12.2f %7.3f %14d %14d\n' "$map" "$ourTime" "$theirTime" \
    "$(echo "$ourTime / $theirTime" | bc -l)" \
    $((peaks[quillorn] / 1024)) $((peaks[gdal] / 1024))
done
