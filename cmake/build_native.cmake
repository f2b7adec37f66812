# Brings the native quillorn that the page's tests compare with up to date,
# and make_heightmap beside it: the release preset's (build/release,
# configured first where it is not), or any other given as TOOL, which
# must exist.
#   cmake -DSOURCE=<source folder> -DTOOL=<its path> -P build_native.cmake
if(NOT TOOL STREQUAL "${SOURCE}/build/release/quillorn")
  if(NOT EXISTS "${TOOL}")
    message(FATAL_ERROR "No native quillorn at ${TOOL}")
  endif()
  return()
endif()
if(NOT EXISTS "${SOURCE}/build/release/CMakeCache.txt")
  execute_process(COMMAND ${CMAKE_COMMAND} --preset release
    WORKING_DIRECTORY "${SOURCE}" COMMAND_ERROR_IS_FATAL ANY)
endif()
# Built again where the sources changed: the page and the tool it is
# compared with come from the same sources. make_heightmap makes the maps
# the tests convert where the test data is absent.
execute_process(COMMAND ${CMAKE_COMMAND} --build build/release -j 2
          --target quillorn make_heightmap
  WORKING_DIRECTORY "${SOURCE}" COMMAND_ERROR_IS_FATAL ANY)
if(NOT EXISTS "${TOOL}")
  message(FATAL_ERROR "The native build made no ${TOOL}")
endif()
