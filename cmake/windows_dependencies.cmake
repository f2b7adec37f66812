# The libraries the Windows build links statically. zlib is Debian's own
# mingw-w64 build (libz-mingw-w64-dev); Debian has no mingw-w64 build of
# libspng, so it is built here from Debian's source package of it, the same
# version the Linux build links, fetched by tools/fetch-windows-deps.sh into
# QUILLORN_DEPS_DIR (under build/, never part of the repository).
#
# Defines quillorn_spng (a static libspng with zlib) when the sources can be
# had, and QUILLORN_SPNG_SOURCE_DIR for the licence notices.

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
  message(WARNING
    "mingw-w64 zlib not found (Debian: libz-mingw-w64-dev): building without PNG")
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
