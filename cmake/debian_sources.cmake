# The libraries the cross builds (Windows, the browser) link statically and
# Debian has no build of for them: made here from Debian's own source
# packages, which tools/fetch-windows-deps.sh fetches into QUILLORN_DEPS_DIR
# (under build/, never part of the repository).
#
# quillorn_add_static_tiff and quillorn_add_static_spng define quillorn_tiff
# and quillorn_spng (static, over ZLIB::ZLIB, which the caller defines) when
# their sources can be had, and set QUILLORN_<NAME>_DEBIAN_VERSION for the
# licence notices. quillorn_add_tiff_codecs, called first, gives libtiff
# libdeflate, Zstandard and LZMA the same way.
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

# A static library target of C sources from another project: its warnings
# are not ours to fail on, and libtiff's build finds it at a known path.
function(quillorn_add_foreign_library target)
  add_library(${target} STATIC ${ARGN})
  set_target_properties(${target} PROPERTIES
    C_STANDARD 99 COMPILE_WARNING_AS_ERROR OFF
    ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/codecs")
endfunction()

# The static library file of a target made by quillorn_add_foreign_library.
function(quillorn_foreign_library_file target result)
  set(${result} "${CMAKE_BINARY_DIR}/codecs/${CMAKE_STATIC_LIBRARY_PREFIX}${target}${CMAKE_STATIC_LIBRARY_SUFFIX}"
      PARENT_SCOPE)
endfunction()

# The codecs Debian's libtiff has beyond zlib's, for the cross builds:
# libdeflate (whole strips inflated and deflated in one call, several
# times faster than zlib's stream), Zstandard and LZMA (GDAL's
# cloud-optimized GeoTIFFs are often ZSTD). Each is built from Debian's
# source package when it can be had; sets QUILLORN_<NAME>_SOURCE_DIR and
# QUILLORN_<NAME>_DEBIAN_VERSION for the notices, and
# QUILLORN_TIFF_CODEC_ARGS, QUILLORN_TIFF_CODEC_TARGETS and
# QUILLORN_TIFF_CODEC_LIBRARIES for quillorn_add_static_tiff.
# QUILLORN_LZMA_CACHE holds any -D settings liblzma's build needs besides
# QUILLORN_TIFF_CACHE.
function(quillorn_add_tiff_codecs)
  set(arguments "")
  set(targets "")
  set(libraries "")
  set(flags "")

  quillorn_fetch_source(libdeflate libdeflate.h)
  set(source "${QUILLORN_DEPS_DIR}/libdeflate")
  if(EXISTS "${source}/libdeflate.h")
    quillorn_source_version("${source}" version)
    set(QUILLORN_LIBDEFLATE_SOURCE_DIR "${source}" PARENT_SCOPE)
    set(QUILLORN_LIBDEFLATE_DEBIAN_VERSION "${version}" PARENT_SCOPE)
    message(STATUS "libdeflate for ${CMAKE_SYSTEM_NAME}: Debian source ${version}")
    # As its makefile builds the library: every file of lib/, with the
    # processor checks of each architecture (the others compile to nothing).
    file(GLOB files "${source}/lib/*.c" "${source}/lib/x86/*.c"
         "${source}/lib/arm/*.c")
    quillorn_add_foreign_library(quillorn_deflate ${files})
    target_include_directories(quillorn_deflate SYSTEM PUBLIC "${source}")
    quillorn_foreign_library_file(quillorn_deflate file)
    list(APPEND arguments -Dlibdeflate=ON -DDeflate_INCLUDE_DIR=${source}
         -DDeflate_LIBRARY=${file})
    list(APPEND targets quillorn_deflate)
    list(APPEND libraries quillorn_deflate)
  else()
    list(APPEND arguments -Dlibdeflate=OFF)
    message(WARNING "libdeflate's sources are not in ${source}: "
                    "TIFF strips are inflated through zlib's stream")
  endif()

  quillorn_fetch_source(libzstd lib/zstd.h)
  set(source "${QUILLORN_DEPS_DIR}/libzstd")
  if(EXISTS "${source}/lib/zstd.h")
    quillorn_source_version("${source}" version)
    set(QUILLORN_ZSTD_SOURCE_DIR "${source}" PARENT_SCOPE)
    set(QUILLORN_ZSTD_DEBIAN_VERSION "${version}" PARENT_SCOPE)
    message(STATUS "Zstandard for ${CMAKE_SYSTEM_NAME}: Debian source ${version}")
    # One thread, no legacy formats, and C alone (the decoder's assembly
    # is for the ELF systems).
    file(GLOB files "${source}/lib/common/*.c" "${source}/lib/compress/*.c"
         "${source}/lib/decompress/*.c")
    quillorn_add_foreign_library(quillorn_zstd ${files})
    target_include_directories(quillorn_zstd SYSTEM PUBLIC "${source}/lib")
    target_compile_definitions(quillorn_zstd PRIVATE ZSTD_DISABLE_ASM
                               ZSTD_LEGACY_SUPPORT=0)
    quillorn_foreign_library_file(quillorn_zstd file)
    list(APPEND arguments -Dzstd=ON -DZSTD_INCLUDE_DIR=${source}/lib
         -DZSTD_LIBRARY=${file} -DZSTD_HAVE_DECOMPRESS_STREAM=ON)
    list(APPEND targets quillorn_zstd)
    list(APPEND libraries quillorn_zstd)
  else()
    list(APPEND arguments -Dzstd=OFF)
    message(WARNING "Zstandard's sources are not in ${source}: "
                    "ZSTD-compressed TIFF is refused")
  endif()

  quillorn_fetch_source(xz-utils src/liblzma/api/lzma.h)
  set(source "${QUILLORN_DEPS_DIR}/xz-utils")
  if(EXISTS "${source}/src/liblzma/api/lzma.h")
    quillorn_source_version("${source}" version)
    set(QUILLORN_LZMA_SOURCE_DIR "${source}" PARENT_SCOPE)
    set(QUILLORN_LZMA_DEBIAN_VERSION "${version}" PARENT_SCOPE)
    message(STATUS "liblzma for ${CMAKE_SYSTEM_NAME}: Debian source xz-utils ${version}")
    # liblzma alone, through its own CMake build (which makes the
    # configuration header), without threads: libtiff decodes one strip
    # at a time.
    set(binary "${CMAKE_BINARY_DIR}/liblzma")
    set(file "${binary}/${CMAKE_STATIC_LIBRARY_PREFIX}lzma${CMAKE_STATIC_LIBRARY_SUFFIX}")
    ExternalProject_Add(quillorn_lzma_build
      SOURCE_DIR "${source}"
      BINARY_DIR "${binary}"
      CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
        -DCMAKE_BUILD_TYPE=Release
        -DBUILD_SHARED_LIBS=OFF
        -DENABLE_THREADS=OFF
        # No command-line tools: their links collide in the browser build.
        -DHAVE_GETOPT_LONG=OFF
        ${QUILLORN_TIFF_CACHE}
        ${QUILLORN_LZMA_CACHE}
      BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target liblzma
      INSTALL_COMMAND ""
      BUILD_BYPRODUCTS "${file}"
      USES_TERMINAL_CONFIGURE ON
      USES_TERMINAL_BUILD ON)
    add_library(quillorn_lzma STATIC IMPORTED GLOBAL)
    set_target_properties(quillorn_lzma PROPERTIES IMPORTED_LOCATION "${file}")
    add_dependencies(quillorn_lzma quillorn_lzma_build)
    list(APPEND arguments -Dlzma=ON
         -DLIBLZMA_INCLUDE_DIR=${source}/src/liblzma/api
         -DLIBLZMA_LIBRARY=${file})
    list(APPEND targets quillorn_lzma_build)
    list(APPEND libraries quillorn_lzma)
    # A static liblzma's header must not ask for a DLL's symbols.
    set(flags "-DLZMA_API_STATIC")
  else()
    list(APPEND arguments -Dlzma=OFF)
    message(WARNING "liblzma's sources are not in ${source}: "
                    "LZMA-compressed TIFF is refused")
  endif()
  if(flags)
    list(APPEND arguments "-DCMAKE_C_FLAGS=${flags}")
  endif()
  set(QUILLORN_TIFF_CODEC_ARGS "${arguments}" PARENT_SCOPE)
  set(QUILLORN_TIFF_CODEC_TARGETS "${targets}" PARENT_SCOPE)
  set(QUILLORN_TIFF_CODEC_LIBRARIES "${libraries}" PARENT_SCOPE)
endfunction()

# libtiff with its own build, as a separate project: the codecs that need
# nothing but zlib (deflate, LZW, PackBits and the other built-in ones)
# and those quillorn_add_tiff_codecs made, no tools, tests or C++
# interface. zlib_include and zlib_library are the zlib it builds against;
# the rest of the arguments are targets that must be built first.
# QUILLORN_TIFF_CACHE holds any -D settings the system needs besides.
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
      -Dcxx=OFF -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF
      -Dwebp=OFF -Dpixarlog=OFF -Dzlib=ON
      -DZLIB_USE_STATIC_LIBS=ON
      -DZLIB_INCLUDE_DIR=${zlib_include}
      -DZLIB_LIBRARY=${zlib_library}
      ${QUILLORN_TIFF_CODEC_ARGS}
      ${QUILLORN_TIFF_CACHE}
    DEPENDS ${ARGN} ${QUILLORN_TIFF_CODEC_TARGETS}
    BUILD_BYPRODUCTS "${library}"
    USES_TERMINAL_CONFIGURE ON
    USES_TERMINAL_BUILD ON)
  file(MAKE_DIRECTORY "${prefix}/include")
  add_library(quillorn_tiff STATIC IMPORTED GLOBAL)
  set_target_properties(quillorn_tiff PROPERTIES
    IMPORTED_LOCATION "${library}"
    INTERFACE_INCLUDE_DIRECTORIES "${prefix}/include"
    INTERFACE_LINK_LIBRARIES "${QUILLORN_TIFF_CODEC_LIBRARIES};ZLIB::ZLIB")
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

# OpenEXR's C library (OpenEXRCore) from Debian's openexr source package,
# compiled here as a static library: C only, with zlib, and the half
# conversions of Imath's header from Debian's imath source package. The
# configuration headers their own builds generate are made from the same
# templates, with the values Debian's builds use.
#
# quillorn_add_static_openexr defines quillorn_openexr (static, over
# ZLIB::ZLIB, which the caller defines) when the sources can be had, and
# sets QUILLORN_OPENEXR_SOURCE_DIR, QUILLORN_IMATH_SOURCE_DIR and their
# Debian versions for the licence notices. A macro: they are the caller's.
macro(quillorn_add_static_openexr)
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
    message(STATUS "OpenEXR for ${CMAKE_SYSTEM_NAME}: Debian sources openexr "
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
endmacro()

# minizip's unzip half (zlib's contrib/minizip in Debian's zlib source
# package), for the builds Debian has no libminizip build for. Defines
# quillorn_minizip, with QUILLORN_MINIZIP_SOURCE_DIR and
# QUILLORN_MINIZIP_DEBIAN_VERSION for the licence notices; links the zlib
# target given.
function(quillorn_add_static_minizip zlib_target)
  quillorn_fetch_source(zlib zlib.h)
  set(source "${QUILLORN_DEPS_DIR}/zlib/contrib/minizip")
  if(NOT EXISTS "${source}/unzip.c")
    message(WARNING
      "minizip's sources are not in ${source} "
      "(tools/fetch-windows-deps.sh fetches zlib's): building without "
      "zipped SRTM tiles")
    return()
  endif()
  set(QUILLORN_MINIZIP_SOURCE_DIR "${source}" PARENT_SCOPE)
  quillorn_source_version("${QUILLORN_DEPS_DIR}/zlib" version)
  set(QUILLORN_MINIZIP_DEBIAN_VERSION "${version}" PARENT_SCOPE)
  message(STATUS "minizip for ${CMAKE_SYSTEM_NAME}: Debian source zlib ${version}")
  add_library(quillorn_minizip STATIC "${source}/unzip.c" "${source}/ioapi.c")
  target_include_directories(quillorn_minizip SYSTEM PUBLIC "${source}")
  # The tool reads a zip through its own file functions; ioapi's stdio
  # ones are only compiled, and neither target has the *64 stdio calls.
  target_compile_definitions(quillorn_minizip PRIVATE USE_FILE32API)
  target_link_libraries(quillorn_minizip PUBLIC ${zlib_target})
  # Another project's code: its warnings are not ours to fail on.
  set_target_properties(quillorn_minizip PROPERTIES
    C_STANDARD 99 COMPILE_WARNING_AS_ERROR OFF)
endfunction()
