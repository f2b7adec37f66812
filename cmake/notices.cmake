# Helpers for a THIRD-PARTY-NOTICES.txt (the Windows zip's, the web
# page's): the caller sets QUILLORN_NOTICES to the file being written.
include_guard(GLOBAL)

# The version of an installed Debian package, or "not recorded".
function(quillorn_package_version package result)
  set(version "")
  find_program(QUILLORN_DPKG_QUERY dpkg-query)
  if(QUILLORN_DPKG_QUERY)
    execute_process(
      COMMAND ${QUILLORN_DPKG_QUERY} -W -f=\${Version} ${package}
      OUTPUT_VARIABLE version ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(version STREQUAL "")
    set(version "not recorded")
  endif()
  set(${result} "${version}" PARENT_SCOPE)
endfunction()

# Appends to QUILLORN_NOTICES a heading and a file's text (or a note that it
# is missing).
function(quillorn_notice_text title path)
  file(APPEND "${QUILLORN_NOTICES}"
       "\n\n${title}\n==============================================================================\n\n")
  if(EXISTS "${path}")
    file(READ "${path}" text)
    file(APPEND "${QUILLORN_NOTICES}" "${text}")
  else()
    file(APPEND "${QUILLORN_NOTICES}" "(${path} was not found at build time)\n")
  endif()
endfunction()

# The lines naming the codecs libtiff was built with (libdeflate,
# Zstandard, liblzma), for the list of libraries, into result; "with zlib
# alone" when there are none.
function(quillorn_tiff_codec_lines result)
  set(lines "")
  if(TARGET quillorn_deflate)
    string(APPEND lines "\n  - libdeflate, built from Debian's source package libdeflate ${QUILLORN_LIBDEFLATE_DEBIAN_VERSION}")
  endif()
  if(TARGET quillorn_zstd)
    string(APPEND lines "\n  - Zstandard, built from Debian's source package libzstd ${QUILLORN_ZSTD_DEBIAN_VERSION}")
  endif()
  if(TARGET quillorn_lzma)
    string(APPEND lines "\n  - liblzma, built from Debian's source package xz-utils ${QUILLORN_LZMA_DEBIAN_VERSION}")
  endif()
  if(lines STREQUAL "")
    set(lines " with zlib alone")
  else()
    set(lines " with zlib and these codecs:${lines}")
  endif()
  set(${result} "${lines}" PARENT_SCOPE)
endfunction()

# Appends the licences of the codecs libtiff was built with.
function(quillorn_tiff_codec_notices)
  if(TARGET quillorn_deflate)
    quillorn_notice_text("libdeflate" "${QUILLORN_LIBDEFLATE_SOURCE_DIR}/COPYING")
  endif()
  if(TARGET quillorn_zstd)
    quillorn_notice_text("Zstandard" "${QUILLORN_ZSTD_SOURCE_DIR}/LICENSE")
  endif()
  if(TARGET quillorn_lzma)
    quillorn_notice_text("liblzma (XZ Utils)" "${QUILLORN_LZMA_SOURCE_DIR}/COPYING")
  endif()
endfunction()
