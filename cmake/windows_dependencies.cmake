# The libraries the Windows build links statically. zlib is Debian's own
# mingw-w64 build (libz-mingw-w64-dev); Debian has no mingw-w64 build of
# libspng, libtiff or its codecs, so they are built from Debian's source packages
# (cmake/debian_sources.cmake): libspng the version the Linux build links,
# libtiff the newest the archive still has.
#
# Defines quillorn_spng (a static libspng with zlib, with QUILLORN_PNG),
# quillorn_tiff (a static libtiff with zlib, libdeflate, Zstandard and
# LZMA, with QUILLORN_TIFF) and
# quillorn_openexr (OpenEXR's C library with zlib, with QUILLORN_EXR) and
# quillorn_minizip (zlib's unzip, with QUILLORN_ZIP) when
# their sources can be had, and their source folders and Debian versions
# for the licence notices.
include_guard(GLOBAL)
include(cmake/debian_sources.cmake)

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB)
if(NOT ZLIB_FOUND)
  message(WARNING "mingw-w64 zlib not found (Debian: libz-mingw-w64-dev): "
                  "building without PNG and TIFF")
  return()
endif()

if(QUILLORN_TIFF)
  quillorn_add_tiff_codecs()
  quillorn_add_static_tiff("${ZLIB_INCLUDE_DIRS}" "${ZLIB_LIBRARIES}")
endif()
if(QUILLORN_PNG)
  quillorn_add_static_spng()
endif()

if(QUILLORN_EXR)
  quillorn_add_static_openexr()
endif()
if(QUILLORN_ZIP)
  quillorn_add_static_minizip(ZLIB::ZLIB)
endif()
