# Builds the native quillorn (the release preset's) that the page's tests
# compare with, unless TOOL is there already: cmake -DSOURCE=<source folder>
# -DTOOL=<its path> -P build_native.cmake
if(EXISTS "${TOOL}")
  return()
endif()
if(NOT EXISTS "${SOURCE}/build/release/CMakeCache.txt")
  execute_process(COMMAND ${CMAKE_COMMAND} --preset release
    WORKING_DIRECTORY "${SOURCE}" COMMAND_ERROR_IS_FATAL ANY)
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build build/release --target quillorn
  WORKING_DIRECTORY "${SOURCE}" COMMAND_ERROR_IS_FATAL ANY)
if(NOT EXISTS "${TOOL}")
  message(FATAL_ERROR "The native build made no ${TOOL}")
endif()
