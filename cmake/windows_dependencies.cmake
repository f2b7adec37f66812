# The libraries the Windows build links statically. zlib is Debian's own
# mingw-w64 build (libz-mingw-w64-dev); Debian has no mingw-w64 build of
# libspng or libtiff, so they are built here from Debian's source packages,
# fetched by tools/fetch-windows-deps.sh into QUILLORN_DEPS_DIR (under
# build/, never part of the repository): libspng the version the Linux
# build links, libtiff the newest the archive still has.
#
# Defines quillorn_spng (a static libspng with zlib, with QUILLORN_PNG),
# quillorn_tiff (a static libtiff with zlib alone, with QUILLORN_TIFF) and
# quillorn_openexr (OpenEXR's C library with zlib, with QUILLORN_EXR) when
# their sources can be had, and their source folders and Debian versions
# for the licence notices.
include_guard(GLOBAL)
include(ExternalProject)

set(QUILLORN_DEPS_DIR "${CMAKE_SOURCE_DIR}/build/deps" CACHE PATH
    "Where tools/fetch-windows-deps.sh unpacks the Windows build's libraries")
option(QUILLORN_FETCH_DEPS
       "Fetch the Windows build's missing library sources from Debian" ON)

# Unpacks package into QUILLORN_DEPS_DIR unless it is there already.
function(quillorn_fetch_source package probe)
  if(EXISTS "${QUILLORN_DEPS_DIR}/${package}/${probe}" OR
     NOT QUILLORN_FETCH_DEPS)
    return()
  endif()
  message(STATUS "Fetching Debian's source package ${package}")
  execute_process(
    COMMAND "${CMAKE_SOURCE_DIR}/tools/fetch-windows-deps.sh"
            "${QUILLORN_DEPS_DIR}" ${package}
    RESULT_VARIABLE fetched)
  if(NOT fetched EQUAL 0)
    message(WARNING "Could not fetch the sources of ${package}")
  endif()
endfunction()

# The Debian version of an unpacked source package, from its changelog.
function(quillorn_source_version directory result)
  set(version "")
  if(EXISTS "${directory}/debian/changelog")
    file(STRINGS "${directory}/debian/changelog" first LIMIT_COUNT 1)
    string(REGEX REPLACE "^[^ ]+ \\(([^)]+)\\).*" "\\1" version "${first}")
  endif()
  set(${result} "${version}" PARENT_SCOPE)
endfunction()

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB)
if(NOT ZLIB_FOUND)
  message(WARNING "mingw-w64 zlib not found (Debian: libz-mingw-w64-dev): "
                  "building without PNG and TIFF")
  return()
endif()

# libtiff with its own build, as a separate project: only the codecs that
# need nothing but zlib (deflate, LZW, PackBits and the other built-in
# ones), no tools, tests or C++ interface.
if(QUILLORN_TIFF)
  quillorn_fetch_source(tiff libtiff/tiffio.h)
  set(QUILLORN_TIFF_SOURCE_DIR "${QUILLORN_DEPS_DIR}/tiff")
  if(EXISTS "${QUILLORN_TIFF_SOURCE_DIR}/libtiff/tiffio.h")
    quillorn_source_version("${QUILLORN_TIFF_SOURCE_DIR}" QUILLORN_TIFF_DEBIAN_VERSION)
    message(STATUS "libtiff for Windows: Debian source ${QUILLORN_TIFF_DEBIAN_VERSION}")
    set(tiff_prefix "${CMAKE_BINARY_DIR}/libtiff")
    set(tiff_library "${tiff_prefix}/lib/${CMAKE_STATIC_LIBRARY_PREFIX}tiff${CMAKE_STATIC_LIBRARY_SUFFIX}")
    ExternalProject_Add(quillorn_tiff_build
      SOURCE_DIR "${QUILLORN_TIFF_SOURCE_DIR}"
      BINARY_DIR "${tiff_prefix}/build"
      INSTALL_DIR "${tiff_prefix}"
      CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
        -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
        -DCMAKE_INSTALL_LIBDIR=lib
        -DBUILD_SHARED_LIBS=OFF
        -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF
        -Dcxx=OFF -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF
        -Dzstd=OFF -Dwebp=OFF -Dlibdeflate=OFF -Dpixarlog=OFF -Dzlib=ON
        -DZLIB_USE_STATIC_LIBS=ON
        -DZLIB_INCLUDE_DIR=${ZLIB_INCLUDE_DIRS}
        -DZLIB_LIBRARY=${ZLIB_LIBRARIES}
      BUILD_BYPRODUCTS "${tiff_library}"
      USES_TERMINAL_CONFIGURE ON
      USES_TERMINAL_BUILD ON)
    file(MAKE_DIRECTORY "${tiff_prefix}/include")
    add_library(quillorn_tiff STATIC IMPORTED GLOBAL)
    set_target_properties(quillorn_tiff PROPERTIES
      IMPORTED_LOCATION "${tiff_library}"
      INTERFACE_INCLUDE_DIRECTORIES "${tiff_prefix}/include"
      INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
    add_dependencies(quillorn_tiff quillorn_tiff_build)
  else()
    message(WARNING
      "libtiff's sources are not in ${QUILLORN_TIFF_SOURCE_DIR} "
      "(tools/fetch-windows-deps.sh fetches them): building without TIFF")
  endif()
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

if(NOT QUILLORN_PNG)
  return()
endif()
quillorn_fetch_source(libspng spng/spng.c)
set(QUILLORN_SPNG_SOURCE_DIR "${QUILLORN_DEPS_DIR}/libspng")
if(NOT EXISTS "${QUILLORN_SPNG_SOURCE_DIR}/spng/spng.c")
  message(WARNING
    "libspng's sources are not in ${QUILLORN_SPNG_SOURCE_DIR} "
    "(tools/fetch-windows-deps.sh fetches them): building without PNG")
  return()
endif()
quillorn_source_version("${QUILLORN_SPNG_SOURCE_DIR}" QUILLORN_SPNG_DEBIAN_VERSION)
message(STATUS "libspng for Windows: Debian source ${QUILLORN_SPNG_DEBIAN_VERSION}")

enable_language(C)
add_library(quillorn_spng STATIC "${QUILLORN_SPNG_SOURCE_DIR}/spng/spng.c")
target_include_directories(quillorn_spng SYSTEM PUBLIC
  "${QUILLORN_SPNG_SOURCE_DIR}/spng")
# As Debian builds it: a static library without the hand-written vector
# filters (Debian configures -Denable_opt=false).
target_compile_definitions(quillorn_spng PUBLIC SPNG_STATIC
  PRIVATE SPNG_DISABLE_OPT=1)
target_link_libraries(quillorn_spng PUBLIC ZLIB::ZLIB)
# Another project's code: its warnings are not ours to fail on.
set_target_properties(quillorn_spng PROPERTIES
  C_STANDARD 99 COMPILE_WARNING_AS_ERROR OFF)
