# THIRD-PARTY-NOTICES.txt in the page's folder: what the WebAssembly links
# statically and what the page loads, which version, and each licence in
# full, from the sources and Debian packages the build used.
set(QUILLORN_WEB_NOTICES "${QUILLORN_PAGE}/THIRD-PARTY-NOTICES.txt")

# The version of an installed Debian package, or "not recorded".
function(quillorn_web_package_version package result)
  set(version "")
  find_program(QUILLORN_DPKG_QUERY dpkg-query)
  if(QUILLORN_DPKG_QUERY)
    execute_process(COMMAND ${QUILLORN_DPKG_QUERY} -W -f=\${Version} ${package}
      OUTPUT_VARIABLE version ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(version STREQUAL "")
    set(version "not recorded")
  endif()
  set(${result} "${version}" PARENT_SCOPE)
endfunction()

# Appends a heading and a file's text (or a note that it is missing).
function(quillorn_web_notice title path)
  file(APPEND "${QUILLORN_WEB_NOTICES}"
       "\n\n${title}\n==============================================================================\n\n")
  if(EXISTS "${path}")
    file(READ "${path}" text)
    file(APPEND "${QUILLORN_WEB_NOTICES}" "${text}")
  else()
    file(APPEND "${QUILLORN_WEB_NOTICES}" "(${path} was not found at build time)\n")
  endif()
endfunction()

quillorn_web_package_version(emscripten emscripten_version)
quillorn_web_package_version(libstb-dev stb_version)
file(READ "${QUILLORN_WEB_MODULES}/fflate/package.json" fflate_package)
string(JSON fflate_version GET "${fflate_package}" version)

file(WRITE "${QUILLORN_WEB_NOTICES}"
"Quillorn's page: third-party notices
====================================

quillorn.wasm and quillorn.js are Quillorn (see LICENSE) compiled with
Emscripten (Debian's emscripten ${emscripten_version}), statically linked with:

- zlib, built from Debian's source package zlib ${QUILLORN_ZLIB_DEBIAN_VERSION}
- libspng, built from Debian's source package libspng ${QUILLORN_SPNG_DEBIAN_VERSION}
- libtiff, built from Debian's source package tiff ${QUILLORN_TIFF_DEBIAN_VERSION}
  with zlib alone
- stb_image_resize, Sean Barrett's resampler (libstb-dev ${stb_version})
- Emscripten's runtime and system libraries (musl, libc++, libc++abi,
  compiler-rt, dlmalloc)

fflate.js is fflate ${fflate_version} (npm), which makes the zip of several outputs.

Their licences follow.
")
quillorn_web_notice("zlib" "${QUILLORN_ZLIB_SOURCE_DIR}/LICENSE")
quillorn_web_notice("libspng" "${QUILLORN_SPNG_SOURCE_DIR}/LICENSE")
quillorn_web_notice("libtiff" "${QUILLORN_TIFF_SOURCE_DIR}/LICENSE.md")
quillorn_web_notice("stb_image_resize (Debian's copyright file of libstb-dev)"
  "/usr/share/doc/libstb-dev/copyright")
quillorn_web_notice("Emscripten (Debian's copyright file of emscripten)"
  "/usr/share/doc/emscripten/copyright")
quillorn_web_notice("fflate" "${QUILLORN_WEB_MODULES}/fflate/LICENSE")
