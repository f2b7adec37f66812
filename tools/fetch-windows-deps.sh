#!/usr/bin/env bash
# Fetches Debian's own source packages of the libraries the Windows and the
# web builds link statically and that Debian has no build of for them
# (libspng, libtiff and its codecs for Windows; zlib too for the browser), so that
# quillorn.exe and the page's WebAssembly are built from the same sources
# as the Linux packages. Nothing of the system's apt setup is changed: apt runs with
# a private list of deb-src entries, made from the machine's own apt sources
# (the same mirrors and suites), and private state under the target folder.
#
#   tools/fetch-windows-deps.sh [<folder>] [<source package>...]
#
# <folder> defaults to build/deps (ignored by git); the packages default to
# libspng and tiff (the web build asks for zlib as well). Each lands in <folder>/<package>, a link to the unpacked
# tree (Debian's patches applied); its debian/changelog names the version.
# The version taken is that of the installed -dev package where there is one
# (the one the Linux build links), otherwise the newest that downloads (a
# security update's files may be gone from the mirror while still listed).
# A package already unpacked at the wanted version is not fetched again.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
folder="${1:-$root/build/deps}"
shift || true
packages=("$@")
[ "${#packages[@]}" -gt 0 ] || packages=(libspng tiff)

say() { echo "fetch-windows-deps: $*" >&2; }

if ! command -v dpkg-source >/dev/null; then
  say "dpkg-source is missing; install dpkg-dev (apt-get install dpkg-dev)"
  exit 1
fi

mkdir -p "$folder"
folder="$(cd "$folder" && pwd)"
apt="$folder/apt"
mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts"
list="$apt/sources.list"
options=(-o "Dir::Etc::SourceList=$list" -o "Dir::Etc::SourceParts=$apt/parts"
  -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
  -o "Dir::State::status=/var/lib/dpkg/status" -o Debug::NoLocking=1
  -o APT::Sandbox::User=root -qq)

# The release's code name: only its own suites (bookworm, bookworm-updates,
# bookworm-security) are taken from the machine's sources, not third-party
# repositories that publish no sources.
codename="$( . /etc/os-release && echo "${VERSION_CODENAME:-}")"
if [ -z "$codename" ]; then
  say "/etc/os-release names no release code name"
  exit 1
fi

# deb-src lines for every Debian entry of the machine's apt sources, in the
# one-line format, from both the one-line (.list) and the deb822 (.sources)
# files.
debSourceLines() {
  local file
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    awk -v codename="$codename" '
      /^[ \t]*deb[ \t]/ {
        sub(/^[ \t]*deb[ \t]+/, "")
        options = ""
        if ($0 ~ /^\[/) {
          options = substr($0, 1, index($0, "]"))
          $0 = substr($0, index($0, "]") + 1)
          $0 = $0
        }
        if ($2 ~ ("^" codename "(-|$)"))
          print "deb-src " options " " $0
      }' "$file"
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk -v codename="$codename" '
      function flush(   i, n, uris, suites) {
        if (types ~ /(^| )deb( |$)/ && enabled != "no") {
          n = split(uriList, uris, " ")
          split(suiteList, suites, " ")
          for (i = 1; i <= n; i++)
            for (s in suites)
              if (suites[s] ~ ("^" codename "(-|$)"))
                print "deb-src" (key == "" ? "" : " [signed-by=" key "]") \
                      " " uris[i] " " suites[s] " " components
        }
        types = uriList = suiteList = components = key = enabled = ""
        field = ""
      }
      /^#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ { if (field == "Signed-By") key = ""; next }
      {
        field = substr($0, 1, index($0, ":") - 1)
        value = substr($0, index($0, ":") + 1)
        gsub(/^[ \t]+|[ \t]+$/, "", value)
        if (field == "Types") types = value
        else if (field == "URIs") uriList = value
        else if (field == "Suites") suiteList = value
        else if (field == "Components") components = value
        else if (field == "Signed-By") key = value
        else if (field == "Enabled") enabled = tolower(value)
      }
      END { flush() }' "$file"
  done
}

# The version of the installed development package built from source, if
# any: the Linux build links it, so the Windows build takes the same.
installedVersion() {
  local binary
  case "$1" in
    libspng) binary=libspng-dev ;;
    tiff) binary=libtiff-dev ;;
    openexr) binary=libopenexr-dev ;;
    zlib) binary=zlib1g-dev ;;
    imath) binary=libimath-dev ;;
    *) binary="" ;;
  esac
  [ -n "$binary" ] || return 0
  dpkg-query -W -f='${db:Status-Abbrev} ${Version}\n' "$binary" 2>/dev/null |
    awk '$1 == "ii" { print $2 }'
}

# Every version of a source package the archive lists, newest first.
listedVersions() {
  local versions=() sorted=() version index
  mapfile -t versions < <(apt-cache "${options[@]}" showsrc "$1" 2>/dev/null |
    awk '/^Version:/ { print $2 }' | sort -u)
  # Insertion sort in Debian's own version order.
  for version in "${versions[@]}"; do
    index=${#sorted[@]}
    sorted+=("$version")
    while [ "$index" -gt 0 ] &&
      dpkg --compare-versions "${sorted[index - 1]}" lt "$version"; do
      sorted[index]="${sorted[index - 1]}"
      index=$((index - 1))
    done
    sorted[index]="$version"
  done
  [ "${#sorted[@]}" -eq 0 ] || printf '%s\n' "${sorted[@]}"
}

# The version an unpacked tree was made from.
unpackedVersion() {
  local changelog="$1/debian/changelog"
  [ -f "$changelog" ] || return 0
  sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p' "$changelog"
}

listed=false
fetch() {
  local package="$1" wanted version candidates=() tree
  wanted="$(installedVersion "$package")"
  if [ -n "$wanted" ] && [ -L "$folder/$package" ] &&
    [ "$(unpackedVersion "$folder/$package")" = "$wanted" ]; then
    say "$package $wanted is already unpacked in $folder/$package"
    return 0
  fi
  if ! $listed; then
    debSourceLines >"$list"
    if [ ! -s "$list" ]; then
      say "no apt source of Debian $codename found in /etc/apt"
      exit 1
    fi
    say "reading the source lists of: $(awk '{ print $(NF-1) }' "$list" |
      sort -u | tr '\n' ' ')"
    # A mirror without one of the lists still leaves the others usable.
    apt-get "${options[@]}" update || say "some source lists failed; going on"
    listed=true
  fi
  [ -n "$wanted" ] && candidates+=("$wanted")
  mapfile -t -O "${#candidates[@]}" candidates < <(listedVersions "$package")
  if [ "${#candidates[@]}" -eq 0 ]; then
    say "the archive lists no source package $package"
    return 1
  fi
  local tried=" "
  for version in "${candidates[@]}"; do
    case "$tried" in *" $version "*) continue ;; esac
    tried+="$version "
    if [ -L "$folder/$package" ] &&
      [ "$(unpackedVersion "$folder/$package")" = "$version" ]; then
      say "$package $version is already unpacked in $folder/$package"
      return 0
    fi
    local work="$folder/.$package.fetch"
    rm -rf "$work"
    mkdir -p "$work"
    say "fetching $package $version"
    if (cd "$work" && apt-get "${options[@]}" source "$package=$version" \
      >/dev/null); then
      tree="$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
      rm -rf "${folder:?}/$package-src"
      mv "$work" "$folder/$package-src"
      ln -sfn "$package-src/$(basename "$tree")" "$folder/$package"
      say "$package $version unpacked in $folder/$package"
      return 0
    fi
    rm -rf "$work"
    say "$package $version could not be fetched; trying an older version"
  done
  say "no version of $package could be fetched"
  return 1
}

status=0
for package in "${packages[@]}"; do
  fetch "$package" || status=1
done
exit "$status"
