# The libraries the browser build links statically, all compiled with emcc
# from Debian's source packages (cmake/debian_sources.cmake): zlib, libspng,
# libtiff (with libdeflate, Zstandard and LZMA), OpenEXR's C library
# (with Imath's half floats) and minizip at the versions the Linux build links, so that
# the page writes the same bytes as the command line.
#
# Defines ZLIB::ZLIB, quillorn_spng (with QUILLORN_PNG), quillorn_tiff
# (with QUILLORN_TIFF), quillorn_openexr (with QUILLORN_EXR) and
# quillorn_minizip (with QUILLORN_ZIP) when their
# sources can be had, and their source folders and Debian versions for the
# licence notices.
include_guard(GLOBAL)
include(cmake/debian_sources.cmake)

if(NOT QUILLORN_PNG AND NOT QUILLORN_TIFF AND NOT QUILLORN_EXR AND
   NOT QUILLORN_ZIP)
  return()
endif()
quillorn_fetch_source(zlib zlib.h)
set(QUILLORN_ZLIB_SOURCE_DIR "${QUILLORN_DEPS_DIR}/zlib")
if(NOT EXISTS "${QUILLORN_ZLIB_SOURCE_DIR}/zlib.h")
  message(WARNING
    "zlib's sources are not in ${QUILLORN_ZLIB_SOURCE_DIR} "
    "(tools/fetch-windows-deps.sh fetches them): building without PNG, TIFF and OpenEXR")
  return()
endif()
quillorn_source_version("${QUILLORN_ZLIB_SOURCE_DIR}" QUILLORN_ZLIB_DEBIAN_VERSION)
message(STATUS "zlib for ${CMAKE_SYSTEM_NAME}: Debian source ${QUILLORN_ZLIB_DEBIAN_VERSION}")

# zlib's library proper, as its own makefile lists it (no gz* file calls
# are used, but libtiff's configure looks for them).
set(zlib_files adler32 compress crc32 deflate gzclose gzlib gzread gzwrite
    infback inffast inflate inftrees trees uncompr zutil)
list(TRANSFORM zlib_files PREPEND "${QUILLORN_ZLIB_SOURCE_DIR}/")
list(TRANSFORM zlib_files APPEND ".c")
add_library(quillorn_zlib STATIC ${zlib_files})
target_include_directories(quillorn_zlib SYSTEM PUBLIC
  "${QUILLORN_ZLIB_SOURCE_DIR}")
# unistd.h is there: as zlib's configure finds it on any POSIX system.
target_compile_definitions(quillorn_zlib PRIVATE HAVE_UNISTD_H)
set_target_properties(quillorn_zlib PROPERTIES
  C_STANDARD 99 COMPILE_WARNING_AS_ERROR OFF
  ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/zlib")
add_library(ZLIB::ZLIB ALIAS quillorn_zlib)

if(QUILLORN_TIFF)
  # CMake cannot read a type's size out of emcc's output: a 32-bit
  # module's size_t is 4 bytes.
  set(QUILLORN_TIFF_CACHE -DHAVE_SIZEOF_SIZE_T=TRUE -DSIZEOF_SIZE_T=4)
  # Nor the byte order, which liblzma's build asks CMake's TestBigEndian
  # for: WebAssembly is little-endian.
  set(QUILLORN_LZMA_CACHE -DHAVE_is_big=TRUE -Dis_big=0)
  quillorn_add_tiff_codecs()
  quillorn_add_static_tiff("${QUILLORN_ZLIB_SOURCE_DIR}"
    "${CMAKE_BINARY_DIR}/zlib/libquillorn_zlib.a" quillorn_zlib)
endif()
if(QUILLORN_PNG)
  quillorn_add_static_spng()
endif()
if(QUILLORN_EXR)
  quillorn_add_static_openexr()
endif()
if(QUILLORN_ZIP)
  quillorn_add_static_minizip(quillorn_zlib)
endif()
