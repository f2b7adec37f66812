# The libraries the cross builds (Windows, the browser) link statically and
# Debian has no build of for them: made here from Debian's own source
# packages, which tools/fetch-windows-deps.sh fetches into QUILLORN_DEPS_DIR
# (under build/, never part of the repository).
#
# quillorn_add_static_tiff and quillorn_add_static_spng define quillorn_tiff
# and quillorn_spng (static, over ZLIB::ZLIB, which the caller defines) when
# their sources can be had, and set QUILLORN_<NAME>_DEBIAN_VERSION for the
# licence notices.
include_guard(GLOBAL)
include(ExternalProject)
# The libraries are C; enabled here, at file scope, since a language
# enabled inside a function is known to that function alone.
enable_language(C)

set(QUILLORN_DEPS_DIR "${CMAKE_SOURCE_DIR}/build/deps" CACHE PATH
    "Where tools/fetch-windows-deps.sh unpacks the cross builds' libraries")
option(QUILLORN_FETCH_DEPS
       "Fetch the cross builds' missing library sources from Debian" ON)

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

# libtiff with its own build, as a separate project: only the codecs that
# need nothing but zlib (deflate, LZW, PackBits and the other built-in
# ones), no tools, tests or C++ interface. zlib_include and zlib_library
# are the zlib it builds against; the rest of the arguments are targets
# that must be built first. QUILLORN_TIFF_CACHE holds any -D settings
# the system needs besides.
function(quillorn_add_static_tiff zlib_include zlib_library)
  quillorn_fetch_source(tiff libtiff/tiffio.h)
  set(source "${QUILLORN_DEPS_DIR}/tiff")
  if(NOT EXISTS "${source}/libtiff/tiffio.h")
    message(WARNING
      "libtiff's sources are not in ${source} "
      "(tools/fetch-windows-deps.sh fetches them): building without TIFF")
    return()
  endif()
  set(QUILLORN_TIFF_SOURCE_DIR "${source}" PARENT_SCOPE)
  quillorn_source_version("${source}" version)
  set(QUILLORN_TIFF_DEBIAN_VERSION "${version}" PARENT_SCOPE)
  message(STATUS "libtiff for ${CMAKE_SYSTEM_NAME}: Debian source ${version}")
  set(prefix "${CMAKE_BINARY_DIR}/libtiff")
  set(library "${prefix}/lib/${CMAKE_STATIC_LIBRARY_PREFIX}tiff${CMAKE_STATIC_LIBRARY_SUFFIX}")
  ExternalProject_Add(quillorn_tiff_build
    SOURCE_DIR "${source}"
    BINARY_DIR "${prefix}/build"
    INSTALL_DIR "${prefix}"
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
      -DZLIB_INCLUDE_DIR=${zlib_include}
      -DZLIB_LIBRARY=${zlib_library}
      ${QUILLORN_TIFF_CACHE}
    DEPENDS ${ARGN}
    BUILD_BYPRODUCTS "${library}"
    USES_TERMINAL_CONFIGURE ON
    USES_TERMINAL_BUILD ON)
  file(MAKE_DIRECTORY "${prefix}/include")
  add_library(quillorn_tiff STATIC IMPORTED GLOBAL)
  set_target_properties(quillorn_tiff PROPERTIES
    IMPORTED_LOCATION "${library}"
    INTERFACE_INCLUDE_DIRECTORIES "${prefix}/include"
    INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
  add_dependencies(quillorn_tiff quillorn_tiff_build)
endfunction()

# libspng, the version the Linux build links, compiled into the project.
function(quillorn_add_static_spng)
  quillorn_fetch_source(libspng spng/spng.c)
  set(source "${QUILLORN_DEPS_DIR}/libspng")
  if(NOT EXISTS "${source}/spng/spng.c")
    message(WARNING
      "libspng's sources are not in ${source} "
      "(tools/fetch-windows-deps.sh fetches them): building without PNG")
    return()
  endif()
  set(QUILLORN_SPNG_SOURCE_DIR "${source}" PARENT_SCOPE)
  quillorn_source_version("${source}" version)
  set(QUILLORN_SPNG_DEBIAN_VERSION "${version}" PARENT_SCOPE)
  message(STATUS "libspng for ${CMAKE_SYSTEM_NAME}: Debian source ${version}")
  add_library(quillorn_spng STATIC "${source}/spng/spng.c")
  target_include_directories(quillorn_spng SYSTEM PUBLIC "${source}/spng")
  # As Debian builds it: a static library without the hand-written vector
  # filters (Debian configures -Denable_opt=false).
  target_compile_definitions(quillorn_spng PUBLIC SPNG_STATIC
    PRIVATE SPNG_DISABLE_OPT=1)
  target_link_libraries(quillorn_spng PUBLIC ZLIB::ZLIB)
  # Another project's code: its warnings are not ours to fail on.
  set_target_properties(quillorn_spng PROPERTIES
    C_STANDARD 99 COMPILE_WARNING_AS_ERROR OFF)
endfunction()
