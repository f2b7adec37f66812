# Finds an optional library and builds one of the tool's libraries
# (cmake/layers.cmake) with it or without it.
#
#   quillorn_optional_library(<NAME>
#     INTO <library>                 the library that builds the sources
#     [TARGET <target>]              the Windows and web builds' own build of it
#     [PKG_CONFIG <module>...]       elsewhere, its pkg-config modules; or
#     [HEADER <file> [IN <folder>]]  a header alone, found in the include path
#                                    (in its <folder>; the Windows and web
#                                    builds take the build machine's
#                                    /usr/include/<folder>)
#     [HEADER_USERS <source>...]     the sources that include that header
#     FOUND_AS <text> DEBIAN <package> FEATURE <text>
#     SOURCES <source>...            built where the library is found
#     ABSENT <source>)               built in their place where it is not
#
# Does nothing with the library unless the option QUILLORN_<NAME> is on.
# Sets QUILLORN_HAS_<NAME> for the whole project, and warns when the library
# is missing: "<FOUND_AS> not found (Debian: <DEBIAN>): building without
# <FEATURE>". The cross builds' targets come from
# cmake/windows_dependencies.cmake and cmake/web_dependencies.cmake, which
# say themselves why one is missing.
include_guard(GLOBAL)

function(quillorn_optional_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg ""
    "INTO;TARGET;HEADER;IN;FOUND_AS;DEBIAN;FEATURE;ABSENT"
    "PKG_CONFIG;HEADER_USERS;SOURCES")
  if(NOT TARGET "${arg_INTO}")
    message(FATAL_ERROR "quillorn_optional_library(${name}): INTO names no library")
  endif()
  set(found OFF)
  set(link "")
  if(NOT QUILLORN_${name})
    # Left out on purpose: no search, no warning.
  elseif(arg_HEADER)
    set(folder QUILLORN_${name}_INCLUDE_DIR)
    if(WIN32 OR EMSCRIPTEN)
      # The cross sysroots have no copy: the header is the same anywhere.
      find_path(${folder} ${arg_HEADER} PATHS /usr/include/${arg_IN}
                NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    else()
      find_path(${folder} ${arg_HEADER} PATH_SUFFIXES ${arg_IN})
    endif()
    if(${folder})
      set(found ON)
      set_source_files_properties(${arg_HEADER_USERS}
        TARGET_DIRECTORY ${arg_INTO}
        PROPERTIES INCLUDE_DIRECTORIES "${${folder}}")
    endif()
  elseif(WIN32 OR EMSCRIPTEN)
    if(arg_TARGET AND TARGET ${arg_TARGET})
      set(found ON)
      set(link ${arg_TARGET})
    endif()
  else()
    find_package(PkgConfig QUIET)
    if(PkgConfig_FOUND)
      pkg_check_modules(QUILLORN_${name}_PKG IMPORTED_TARGET GLOBAL
                        ${arg_PKG_CONFIG})
    endif()
    if(QUILLORN_${name}_PKG_FOUND)
      set(found ON)
      set(link PkgConfig::QUILLORN_${name}_PKG)
    endif()
  endif()

  if(QUILLORN_${name} AND NOT found AND (arg_HEADER OR NOT (WIN32 OR EMSCRIPTEN)))
    message(WARNING "${arg_FOUND_AS} not found (Debian: ${arg_DEBIAN}): "
                    "building without ${arg_FEATURE}")
  endif()
  if(found)
    target_sources(${arg_INTO} PRIVATE ${arg_SOURCES})
    if(link)
      target_link_libraries(${arg_INTO} PUBLIC ${link})
    endif()
  else()
    target_sources(${arg_INTO} PRIVATE ${arg_ABSENT})
  endif()
  set(QUILLORN_HAS_${name} ${found} CACHE INTERNAL
      "Whether ${arg_INTO} is built with the optional library ${name}")
endfunction()
