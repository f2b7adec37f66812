# The tool's four libraries, one per folder of src/, from the bottom up:
#
#   quillorn_platform    the operating system; nothing of the tool's own
#   quillorn_image       height planes and formats; over platform
#   quillorn_processing  height computations; over image and platform
#   quillorn_app         the command line and the run; over all three
#
# A library sees only its own folder's headers and those of the folders
# below it: its include directory is a folder of the build
# (<build>/layers/<folder>/) that holds links to those folders and no
# others, so an #include "<folder>/..." of a folder above fails to compile
# ("No such file or directory"). A header that no file of its own folder
# includes is compiled only above it, so configuring also reads every
# file's #include lines and stops at one that reaches up, or at two units
# of a folder that include each other's header. Each library
# links the one below it PUBLIC, so what links a library gets the ones
# below too.
include_guard(GLOBAL)

set(QUILLORN_LAYERS platform image processing app)

# quillorn_layer(<folder>): makes quillorn_<folder>, a static library that
# sees and links <folder> and the folders below it in QUILLORN_LAYERS.
function(quillorn_layer folder)
  list(FIND QUILLORN_LAYERS ${folder} position)
  if(position LESS 0)
    message(FATAL_ERROR "quillorn_layer: ${folder} is not one of ${QUILLORN_LAYERS}")
  endif()
  set(library quillorn_${folder})
  add_library(${library} STATIC)

  set(visible "${CMAKE_BINARY_DIR}/layers/${folder}")
  file(REMOVE_RECURSE "${visible}")
  file(MAKE_DIRECTORY "${visible}")
  foreach(index RANGE ${position})
    list(GET QUILLORN_LAYERS ${index} seen)
    file(CREATE_LINK "${PROJECT_SOURCE_DIR}/src/${seen}" "${visible}/${seen}"
         RESULT failure SYMBOLIC)
    if(failure)
      message(FATAL_ERROR "Cannot link ${visible}/${seen} to the sources "
                          "(${failure}): the layers' include folders need "
                          "symbolic links")
    endif()
  endforeach()
  target_include_directories(${library} PUBLIC "${visible}")

  math(EXPR above "${position} + 1")
  list(LENGTH QUILLORN_LAYERS layers)
  if(above LESS layers)
    list(SUBLIST QUILLORN_LAYERS ${above} -1 higher)
    list(JOIN higher "|" higher)
    file(GLOB files "${PROJECT_SOURCE_DIR}/src/${folder}/*.h"
                    "${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp")
    foreach(file IN LISTS files)
      file(STRINGS "${file}" upward
           REGEX "^[ \t]*#[ \t]*include[ \t]*\"(${higher})/")
      if(upward)
        list(GET upward 0 line)
        message(FATAL_ERROR "${file}: ${line}: src/${folder} may include "
                            "only its own folder and the folders below it")
      endif()
    endforeach()
  endif()

  # Within the folder no two units (a header and its .cpp, by their name)
  # include each other's header: what ties them belongs in one of them, or
  # in a header both include.
  file(GLOB own "${PROJECT_SOURCE_DIR}/src/${folder}/*.h"
                "${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp")
  set(uses "")
  foreach(file IN LISTS own)
    get_filename_component(unit "${file}" NAME_WE)
    file(STRINGS "${file}" lines
         REGEX "^[ \t]*#[ \t]*include[ \t]*\"${folder}/[^\"/]+\\.h\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE ".*\"${folder}/([^\"/]+)\\.h\".*" "\\1" used
             "${line}")
      if(NOT used STREQUAL unit)
        list(APPEND uses "${unit}>${used}")
      endif()
    endforeach()
  endforeach()
  foreach(use IN LISTS uses)
    string(REPLACE ">" ";" pair "${use}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    list(FIND uses "${to}>${from}" back)
    if(back GREATER -1)
      message(FATAL_ERROR "src/${folder}: ${from} and ${to} include each "
                          "other's headers; move what ties them into one of "
                          "them or into a header both include")
    endif()
  endforeach()

  if(position GREATER 0)
    math(EXPR below "${position} - 1")
    list(GET QUILLORN_LAYERS ${below} lower)
    target_link_libraries(${library} PUBLIC quillorn_${lower})
  endif()
endfunction()
