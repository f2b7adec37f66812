# THIRD-PARTY-NOTICES.txt in the page's folder: what the WebAssembly links
# statically and what the page loads, which version, and each licence in
# full, from the sources and Debian packages the build used.
include(${CMAKE_CURRENT_LIST_DIR}/notices.cmake)
set(QUILLORN_NOTICES "${QUILLORN_PAGE}/THIRD-PARTY-NOTICES.txt")

quillorn_package_version(emscripten emscripten_version)
quillorn_package_version(libstb-dev stb_version)
quillorn_tiff_codec_lines(codec_lines)
set(openexr_line "")
if(TARGET quillorn_openexr)
  set(openexr_line "
- OpenEXR's C library (OpenEXRCore), built from Debian's source package
  openexr ${QUILLORN_OPENEXR_DEBIAN_VERSION}, with the half-float conversions of
  Imath (Debian's source package imath ${QUILLORN_IMATH_DEBIAN_VERSION})")
endif()
set(minizip_line "")
if(TARGET quillorn_minizip)
  set(minizip_line "
- minizip's unzip (zlib's contrib/minizip), built from Debian's source
  package zlib ${QUILLORN_MINIZIP_DEBIAN_VERSION}, under zlib's licence")
endif()
file(READ "${QUILLORN_WEB_MODULES}/fflate/package.json" fflate_package)
string(JSON fflate_version GET "${fflate_package}" version)

file(WRITE "${QUILLORN_NOTICES}"
"Quillorn's page: third-party notices
====================================

quillorn.wasm and quillorn.js are Quillorn (see LICENSE) compiled with
Emscripten (Debian's emscripten ${emscripten_version}), statically linked with:

- zlib, built from Debian's source package zlib ${QUILLORN_ZLIB_DEBIAN_VERSION}
- libspng, built from Debian's source package libspng ${QUILLORN_SPNG_DEBIAN_VERSION}
- libtiff, built from Debian's source package tiff ${QUILLORN_TIFF_DEBIAN_VERSION}${codec_lines}${openexr_line}${minizip_line}
- stb_image_resize, Sean Barrett's resampler (libstb-dev ${stb_version})
- Emscripten's runtime and system libraries (musl, libc++, libc++abi,
  compiler-rt, dlmalloc)

fflate.js is fflate ${fflate_version} (npm), which makes the zip of several outputs.

Their licences follow.
")
quillorn_notice_text("zlib" "${QUILLORN_ZLIB_SOURCE_DIR}/LICENSE")
quillorn_notice_text("libspng" "${QUILLORN_SPNG_SOURCE_DIR}/LICENSE")
quillorn_notice_text("libtiff" "${QUILLORN_TIFF_SOURCE_DIR}/LICENSE.md")
quillorn_tiff_codec_notices()
if(TARGET quillorn_openexr)
  quillorn_notice_text("OpenEXR" "${QUILLORN_OPENEXR_SOURCE_DIR}/LICENSE.md")
  quillorn_notice_text("Imath" "${QUILLORN_IMATH_SOURCE_DIR}/LICENSE.md")
endif()
quillorn_notice_text("stb_image_resize (Debian's copyright file of libstb-dev)"
  "/usr/share/doc/libstb-dev/copyright")
quillorn_notice_text("Emscripten (Debian's copyright file of emscripten)"
  "/usr/share/doc/emscripten/copyright")
quillorn_notice_text("fflate" "${QUILLORN_WEB_MODULES}/fflate/LICENSE")
