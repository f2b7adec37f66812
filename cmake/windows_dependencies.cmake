# The libraries the Windows build links statically. zlib is Debian's own
# mingw-w64 build (libz-mingw-w64-dev); Debian has no mingw-w64 build of
# libspng, libtiff or its codecs, so they are built from Debian's source packages
# (cmake/debian_sources.cmake): libspng the version the Linux build links,
# libtiff the newest the archive still has.
#
# Defines quillorn_spng (a static libspng with zlib, with QUILLORN_PNG),
# quillorn_tiff (a static libtiff with zlib, libdeflate, Zstandard and
# LZMA, with QUILLORN_TIFF) and
# quillorn_openexr (OpenEXR's C library with zlib, with QUILLORN_EXR) when
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

# OpenEXR's C library (OpenEXRCore) from Debian's openexr source package,
# compiled here as a static library: C only, with zlib, and the half
# conversions of Imath's header from Debian's imath source package. The
# configuration headers their own builds generate are made from the same
# templates, with the values Debian's builds use.
if(QUILLORN_EXR)
  quillorn_fetch_source(openexr src/lib/OpenEXRCore/openexr.h)
  quillorn_fetch_source(imath src/Imath/half.h)
  set(QUILLORN_OPENEXR_SOURCE_DIR "${QUILLORN_DEPS_DIR}/openexr")
  set(QUILLORN_IMATH_SOURCE_DIR "${QUILLORN_DEPS_DIR}/imath")
  set(core "${QUILLORN_OPENEXR_SOURCE_DIR}/src/lib/OpenEXRCore")
  if(EXISTS "${core}/openexr.h" AND
     EXISTS "${QUILLORN_IMATH_SOURCE_DIR}/src/Imath/half.h")
    enable_language(C)
    quillorn_source_version("${QUILLORN_OPENEXR_SOURCE_DIR}" QUILLORN_OPENEXR_DEBIAN_VERSION)
    quillorn_source_version("${QUILLORN_IMATH_SOURCE_DIR}" QUILLORN_IMATH_DEBIAN_VERSION)
    message(STATUS "OpenEXR for Windows: Debian sources openexr "
                   "${QUILLORN_OPENEXR_DEBIAN_VERSION}, imath ${QUILLORN_IMATH_DEBIAN_VERSION}")
    string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)" openexr_version
           "${QUILLORN_OPENEXR_DEBIAN_VERSION}")
    set(OpenEXR_VERSION_MAJOR ${CMAKE_MATCH_1})
    set(OpenEXR_VERSION_MINOR ${CMAKE_MATCH_2})
    set(OpenEXR_VERSION_PATCH ${CMAKE_MATCH_3})
    set(OPENEXR_VERSION "${openexr_version}")
    set(OPENEXR_PACKAGE_NAME "OpenEXR ${openexr_version}")
    set(OPENEXR_VERSION_RELEASE_TYPE "")
    set(OPENEXR_LIB_VERSION "${openexr_version}")
    set(OPENEXR_NAMESPACE_CUSTOM 0)
    set(OPENEXR_INTERNAL_IMF_NAMESPACE "Imf_${OpenEXR_VERSION_MAJOR}_${OpenEXR_VERSION_MINOR}")
    set(OPENEXR_IMF_NAMESPACE Imf)
    set(ILMTHREAD_THREADING_ENABLED ON)
    set(ILMTHREAD_HAVE_POSIX_SEMAPHORES OFF)
    set(ILMTHREAD_NAMESPACE_CUSTOM 0)
    set(ILMTHREAD_INTERNAL_NAMESPACE "IlmThread_${OpenEXR_VERSION_MAJOR}_${OpenEXR_VERSION_MINOR}")
    set(ILMTHREAD_NAMESPACE IlmThread)
    string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)" imath_version
           "${QUILLORN_IMATH_DEBIAN_VERSION}")
    set(Imath_VERSION_MAJOR ${CMAKE_MATCH_1})
    set(Imath_VERSION_MINOR ${CMAKE_MATCH_2})
    set(Imath_VERSION_PATCH ${CMAKE_MATCH_3})
    set(IMATH_VERSION "${imath_version}")
    set(IMATH_PACKAGE_NAME "Imath ${imath_version}")
    set(IMATH_VERSION_RELEASE_TYPE "")
    set(IMATH_LIB_VERSION "${imath_version}")
    set(IMATH_NAMESPACE_CUSTOM 0)
    set(IMATH_INTERNAL_NAMESPACE "Imath_${Imath_VERSION_MAJOR}_${Imath_VERSION_MINOR}")
    set(IMATH_NAMESPACE Imath)
    set(IMATH_USE_NOEXCEPT ON)
    set(generated "${CMAKE_BINARY_DIR}/openexr_config")
    configure_file("${QUILLORN_OPENEXR_SOURCE_DIR}/cmake/OpenEXRConfig.h.in"
                   "${generated}/OpenEXRConfig.h")
    configure_file("${QUILLORN_OPENEXR_SOURCE_DIR}/cmake/IlmThreadConfig.h.in"
                   "${generated}/IlmThreadConfig.h")
    configure_file("${QUILLORN_IMATH_SOURCE_DIR}/config/ImathConfig.h.in"
                   "${generated}/ImathConfig.h")
    file(GLOB core_sources "${core}/*.c")
    add_library(quillorn_openexr STATIC ${core_sources})
    target_include_directories(quillorn_openexr SYSTEM PUBLIC "${core}"
      "${generated}" PRIVATE "${QUILLORN_IMATH_SOURCE_DIR}/src/Imath")
    target_link_libraries(quillorn_openexr PUBLIC ZLIB::ZLIB)
    # Another project's code: its warnings are not ours to fail on.
    set_target_properties(quillorn_openexr PROPERTIES
      C_STANDARD 11 COMPILE_WARNING_AS_ERROR OFF)
  else()
    message(WARNING
      "OpenEXR's or Imath's sources are not in ${QUILLORN_DEPS_DIR} "
      "(tools/fetch-windows-deps.sh fetches them): building without OpenEXR")
  endif()
endif()
