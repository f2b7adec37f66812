#!/usr/bin/env bash
# Builds every build of Quillorn and runs every test, in this order: the
# optimized build, the sanitizer build, a build without the optional
# libraries, the vector kernels under the sanitizers, the Debian package
# (checked, then used), the Windows build under Wine and its zip, the web
# page in headless Chromium (with the test data and without it), and two
# minutes of fuzzing. Stops at the first stage that fails, with its status.
#
#   tools/run-tests.sh
#
# Needs the packages the README's install section names; run as root (as CI
# does), it also installs the .deb and removes it again, otherwise it
# unpacks it into a temporary folder and uses it from there.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
installed=""
cleanup() {
  [ -z "$installed" ] || dpkg -r quillorn >/dev/null 2>&1 || true
  [ -z "${WINEPREFIX:-}" ] || /usr/lib/wine/wineserver64 --kill 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
# Runs one stage, a function below, under its heading.
stage() {
  echo "== $1"
  "$2"
  passed=$((passed + 1))
}

workflows() {
  cmake --workflow --preset release
  cmake --workflow --preset debug
}

withoutLibraries() { cmake --workflow --preset nopng; }

# The debug build checks the plain kernels; this one the SSSE3 and AVX2 paths.
vectorKernels() { cmake --workflow --preset vectors; }

debianPackage() {
  cmake --workflow --preset package
  # No error and no warning from Debian's own package checker.
  lintian --fail-on error,warning build/release/quillorn_*_amd64.deb
  local root=""
  if [ "$(id -u)" = 0 ]; then
    dpkg -i build/release/quillorn_*_amd64.deb
    installed=yes
  else
    root="$work/deb"
    dpkg -x build/release/quillorn_*_amd64.deb "$root"
  fi
  # Whole outputs to files first: grep -q stopping early must not kill the
  # tool with SIGPIPE under pipefail.
  "$root/usr/bin/quillorn" --help >"$work/help.txt"
  grep -q '^Usage: quillorn' "$work/help.txt"
  build/release/make_heightmap "$work/in.bmp" 97 61 --8bit
  "$root/usr/bin/quillorn" "$work/in.bmp" "$work/out.bmp" -sca 0 -smo 2 -min 5 \
    >"$work/run.txt"
  test "$(tail -n 1 "$work/run.txt")" = 'Done!'
  test -s "$root/usr/share/man/man1/quillorn.1.gz"
  # The packaged completion offers the switches.
  bash -c 'source "$1/usr/share/bash-completion/completions/quillorn"
    COMP_WORDS=(quillorn in.bmp out.bmp -s); COMP_CWORD=3; _quillorn
    printf "%s\n" "${COMPREPLY[@]}"' completion "$root" >"$work/completion.txt"
  grep -qx -- -smo "$work/completion.txt"
  grep -qx -- -sca "$work/completion.txt"
}

windowsBuild() {
  # The configure step fetches Debian's library sources (tools/fetch-windows-deps.sh).
  cmake --preset windows
  cmake --build --preset windows
  export WINEDEBUG=-all WINEPREFIX="$work/wine"
  # One Wine server for every run: starting one per process costs seconds.
  # It refuses a prefix folder that does not exist yet.
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wineserver64 --persistent
  /usr/lib/wine/wine64 build/windows/quillorn.exe --version >"$work/version.txt"
  grep -q 'PNG (libspng' "$work/version.txt"
  grep -q 'TIFF (libtiff' "$work/version.txt"
  grep -q 'OpenEXR (OpenEXR' "$work/version.txt"
  grep -q '(minizip' "$work/version.txt"
  # A UTF-8 locale, so that non-ASCII file names survive the way into Wine.
  LC_ALL=C.UTF-8 QUILLORN_TEST_LAUNCHER=/usr/lib/wine/wine64 \
    QUILLORN_TEST_EXE="$PWD/build/windows/quillorn.exe" \
    build/release/quillorn_tests \
    --gtest_filter='EndToEndTest.*:EndToEndFloatTest.*:EngineRecipeTest.*:ExrFileTest.*'
  # GeoTIFFs as GDAL writes them, every compression included (ZSTD, LZMA).
  QUILLORN_TEST_LAUNCHER=/usr/lib/wine/wine64 \
    /usr/bin/python3 tests/geotiff_test.py build/windows/quillorn.exe
  windowsZip
}

windowsZip() {
  (cd build/windows && cpack)
  local zip top name
  zip=$(echo build/windows/quillorn-*-win64.zip)
  top=$(basename "$zip" .zip)
  unzip -Z1 "$zip" >"$work/zip.txt"
  for name in quillorn.exe README.md LICENSE THIRD-PARTY-NOTICES.txt; do
    grep -qx "$top/$name" "$work/zip.txt"
  done
  unzip -p "$zip" "$top/THIRD-PARTY-NOTICES.txt" >"$work/notices.txt"
  for name in 'BSD 2-Clause License' libtiff libdeflate Zstandard liblzma \
    OpenEXR Imath 'GCC RUNTIME LIBRARY EXCEPTION'; do
    grep -q "$name" "$work/notices.txt"
  done
  # Library sources are fetched at build time, never committed.
  if git ls-files | grep -E '(^|/)(spng|zlib|tiffio|zstd|lzma|libdeflate)\.(c|h)$'; then
    return 1
  fi
}

webPage() {
  # fflate (the page's zip) and puppeteer-core (the tests' driver), as locked.
  (cd web && npm ci --ignore-scripts --no-audit --no-fund)
  # Compares the page's downloads with build/release/quillorn's outputs; the
  # 4097 x 4097 map's time lands in build/web/Testing/bench_web.txt.
  cmake --workflow --preset web
  cat build/web/Testing/bench_web.txt
  # Once more as on a clone without the test data: on maps the tests make.
  mkdir -p "$work/no-testdata"
  QUILLORN_TESTDATA="$work/no-testdata" ctest --preset web
}

# Any crash, sanitizer report or broken promise the fuzzer finds fails.
fuzzing() { fuzz/run.sh 120; }

stage "The optimized and the sanitizer builds, every test" workflows
stage "A build without the optional libraries (no PNG, no TIFF)" withoutLibraries
stage "The vector kernels under AddressSanitizer and UndefinedBehaviorSanitizer" vectorKernels
stage "Debian package: build, check, use" debianPackage
stage "Windows build, end-to-end tests under Wine, the zip" windowsBuild
stage "The page: quillorn as WebAssembly, tested in headless Chromium" webPage
stage "Fuzzing" fuzzing
echo "stages: $passed passed, 0 failed"
