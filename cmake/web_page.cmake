# The browser build: quillorn itself, from the same main.cpp, as a
# WebAssembly module that the page's worker starts and runs a command line
# in, on files in Emscripten's in-memory file system.
include_guard(GLOBAL)

# One module per conversion (a fresh memory each time), run as often as
# called: callMain with a command line, FS for the files. Memory grows to
# what a 32-bit module may have; beyond it an allocation fails and the
# tool says so, as it does anywhere.
target_link_options(quillorn PRIVATE
  -sMODULARIZE=1
  -sEXPORT_NAME=createQuillorn
  -sINVOKE_RUN=0
  -sEXIT_RUNTIME=0
  -sFORCE_FILESYSTEM=1
  "-sEXPORTED_RUNTIME_METHODS=[\"callMain\",\"FS\"]"
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=32MB
  -sMAXIMUM_MEMORY=4GB
  -sENVIRONMENT=web,worker,node)

# The page's tests compare its output with the native build's, which the
# first of them makes when it is not there yet (build/release, as the
# release preset has it).
set(QUILLORN_NATIVE_QUILLORN "${CMAKE_SOURCE_DIR}/build/release/quillorn"
    CACHE FILEPATH "The native quillorn the page's output is compared with")
set(QUILLORN_WEB_TEST_MAPS "${CMAKE_SOURCE_DIR}/../shared/testdata/heightmaps"
    CACHE PATH "The height maps the page's tests convert")
find_program(QUILLORN_NODE NAMES node nodejs)
if(NOT QUILLORN_NODE)
  message(WARNING "node not found (Debian: nodejs): the page is not tested")
  return()
endif()
enable_testing()
add_test(NAME web_native_build
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}
          -DTOOL=${QUILLORN_NATIVE_QUILLORN}
          -P ${CMAKE_SOURCE_DIR}/cmake/build_native.cmake)
set_tests_properties(web_native_build PROPERTIES FIXTURES_SETUP native)

# node 18 and later run Emscripten's output only without their own fetch.
add_test(NAME web_module_matches_native
  COMMAND ${QUILLORN_NODE} --no-experimental-fetch
          ${CMAKE_SOURCE_DIR}/web/tests/smoke_test.cjs
          $<TARGET_FILE:quillorn> ${QUILLORN_NATIVE_QUILLORN}
          ${QUILLORN_WEB_TEST_MAPS} ${CMAKE_BINARY_DIR}/Testing/smoke)
set_tests_properties(web_module_matches_native PROPERTIES
  FIXTURES_REQUIRED native)
