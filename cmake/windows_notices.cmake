# THIRD-PARTY-NOTICES.txt for the Windows package: what quillorn.exe links
# statically, which version, and each licence in full, taken from the
# sources and Debian packages the build used.

include(${CMAKE_CURRENT_LIST_DIR}/notices.cmake)
set(QUILLORN_NOTICES "${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt")

# The compiler's thread model decides whether winpthreads is linked in.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -v
                ERROR_VARIABLE compiler_about OUTPUT_QUIET)
string(REGEX MATCH "Thread model: ([a-z0-9]+)" thread_model "${compiler_about}")
set(thread_model "${CMAKE_MATCH_1}")
if(thread_model STREQUAL "posix")
  set(gcc_package gcc-mingw-w64-x86-64-posix-runtime)
  set(threads_note "- winpthreads, the POSIX threads library of the mingw-w64 project
  (the compiler's posix thread model); its licence is in the mingw-w64
  section below.")
else()
  set(gcc_package gcc-mingw-w64-x86-64-win32-runtime)
  set(threads_note "winpthreads is not linked: the compiler uses the win32 thread model.")
endif()

quillorn_package_version(libz-mingw-w64-dev zlib_version)
quillorn_package_version(mingw-w64-x86-64-dev mingw_version)
quillorn_package_version(${gcc_package} gcc_version)

set(libraries "")
# Upstream's version: Debian's without its revision.
function(quillorn_upstream_version debian result)
  string(REGEX REPLACE "-[^-]*$" "" upstream "${debian}")
  set(${result} "${upstream}" PARENT_SCOPE)
endfunction()

if(TARGET quillorn_spng)
  quillorn_upstream_version("${QUILLORN_SPNG_DEBIAN_VERSION}" spng_upstream)
  string(APPEND libraries "- libspng ${spng_upstream}, built from Debian's source package
  libspng ${QUILLORN_SPNG_DEBIAN_VERSION} (PNG reading and writing)
- zlib, Debian's mingw-w64 build (libz-mingw-w64-dev ${zlib_version})
")
endif()
if(TARGET quillorn_tiff)
  quillorn_upstream_version("${QUILLORN_TIFF_DEBIAN_VERSION}" tiff_upstream)
  quillorn_tiff_codec_lines(codec_lines)
  string(APPEND libraries "- libtiff ${tiff_upstream}, built from Debian's source package
  tiff ${QUILLORN_TIFF_DEBIAN_VERSION} (TIFF reading and writing)${codec_lines}
")
endif()

if(TARGET quillorn_openexr)
  quillorn_upstream_version("${QUILLORN_OPENEXR_DEBIAN_VERSION}" openexr_upstream)
  quillorn_upstream_version("${QUILLORN_IMATH_DEBIAN_VERSION}" imath_upstream)
  string(APPEND libraries "- OpenEXR's C library (OpenEXRCore) ${openexr_upstream}, built from Debian's
  source package openexr ${QUILLORN_OPENEXR_DEBIAN_VERSION} (OpenEXR reading and writing),
  with the half-float conversions of Imath ${imath_upstream} (Debian's source
  package imath ${QUILLORN_IMATH_DEBIAN_VERSION})
")
endif()

if(TARGET quillorn_minizip)
  string(APPEND libraries "- minizip's unzip (zlib's contrib/minizip), built from Debian's source
  package zlib ${QUILLORN_MINIZIP_DEBIAN_VERSION} (zipped SRTM tiles), under zlib's licence
")
endif()

set(stb_line "")
if(QUILLORN_HAS_RESAMPLING)
  quillorn_package_version(libstb-dev stb_version)
  set(stb_line "- stb_image_resize, Sean Barrett's resampler (libstb-dev ${stb_version})\n")
endif()

file(WRITE "${QUILLORN_NOTICES}"
"Third-party software in quillorn.exe
==============================================================================

quillorn.exe is built from Quillorn's own sources (MIT licence: see LICENSE)
and links these libraries statically, so that it needs no other file:

${libraries}${stb_line}- the mingw-w64 runtime (mingw-w64-x86-64-dev ${mingw_version})
- GCC's runtime libraries libgcc and libstdc++ (${gcc_package}
  ${gcc_version}), under the GNU General Public License version 3 with
  the GCC Runtime Library Exception, version 3.1, which allows programs
  compiled with GCC to be distributed under terms of their own choice
${threads_note}

The licences follow, each in full.
")

if(TARGET quillorn_spng)
  quillorn_notice_text("libspng" "${QUILLORN_SPNG_SOURCE_DIR}/LICENSE")
  # zlib's licence is the opening comment of its header.
  find_file(QUILLORN_ZLIB_HEADER zlib.h PATHS ${ZLIB_INCLUDE_DIRS} NO_DEFAULT_PATH)
  file(APPEND "${QUILLORN_NOTICES}"
       "\n\nzlib\n==============================================================================\n\n")
  if(QUILLORN_ZLIB_HEADER)
    file(READ "${QUILLORN_ZLIB_HEADER}" header)
    string(FIND "${header}" "*/" end)
    string(SUBSTRING "${header}" 0 ${end} header)
    string(REGEX REPLACE "^/\\* *" "" header "${header}")
    file(APPEND "${QUILLORN_NOTICES}" "${header}")
  else()
    file(APPEND "${QUILLORN_NOTICES}" "(zlib.h was not found at build time)\n")
  endif()
endif()
if(TARGET quillorn_tiff)
  quillorn_notice_text("libtiff" "${QUILLORN_TIFF_SOURCE_DIR}/LICENSE.md")
  quillorn_tiff_codec_notices()
endif()
if(TARGET quillorn_openexr)
  quillorn_notice_text("OpenEXR" "${QUILLORN_OPENEXR_SOURCE_DIR}/LICENSE.md")
  quillorn_notice_text("Imath" "${QUILLORN_IMATH_SOURCE_DIR}/LICENSE.md")
endif()
if(QUILLORN_HAS_RESAMPLING)
  # stb's licence closes its header.
  file(READ "${QUILLORN_RESAMPLING_INCLUDE_DIR}/stb_image_resize.h" header)
  string(FIND "${header}" "This software is available under 2 licenses" start)
  file(APPEND "${QUILLORN_NOTICES}"
       "\n\nstb_image_resize\n==============================================================================\n\n")
  if(start GREATER -1)
    string(SUBSTRING "${header}" ${start} -1 licence)
    string(REGEX REPLACE "\\*/[ \t\r\n]*$" "" licence "${licence}")
    file(APPEND "${QUILLORN_NOTICES}" "${licence}")
  endif()
endif()
quillorn_notice_text("mingw-w64 runtime (Debian's copyright file of mingw-w64)"
                     /usr/share/doc/mingw-w64-common/copyright)

# The exception's own text, from the compiler's Debian copyright file.
file(APPEND "${QUILLORN_NOTICES}"
     "\n\nGCC runtime libraries\n==============================================================================\n\n")
set(gcc_copyright /usr/share/doc/gcc-mingw-w64-base/copyright)
if(EXISTS "${gcc_copyright}")
  file(READ "${gcc_copyright}" text)
  string(FIND "${text}" "GCC RUNTIME LIBRARY EXCEPTION" start)
  string(FIND "${text}" "requirements of the license of GCC." stop)
  if(start GREATER -1 AND stop GREATER start)
    math(EXPR length "${stop} - ${start} + 35")
    string(SUBSTRING "${text}" ${start} ${length} exception)
    file(APPEND "${QUILLORN_NOTICES}"
"libgcc and libstdc++ are Copyright (C) the Free Software Foundation, Inc.,
and licensed under the GNU General Public License version 3 or later
(https://www.gnu.org/licenses/gpl-3.0.html) with this exception:

${exception}
")
  endif()
else()
  file(APPEND "${QUILLORN_NOTICES}" "(${gcc_copyright} was not found at build time)\n")
endif()
