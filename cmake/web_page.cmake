# The browser build: quillorn itself, from the same main.cpp, as a
# WebAssembly module that the page's worker starts and runs a command line
# in, on files in Emscripten's in-memory file system.
include_guard(GLOBAL)

# WebAssembly SIMD: the smoothing lanes' own kernel in its intrinsics
# (smoothing_lanes_wasm.cpp) and the loops the compiler vectorizes by
# itself. The SSE2 lane kernel through Emscripten's mapping of SSE2
# (-msse2) took some 45% more than the plain kernels, so the x86 kernels
# stay x86's. Float to integer conversions saturate rather than trap
# (-mnontrapping-fptoint, in browsers since 2019-2021: Chrome 75, Firefox
# 64, Safari 15): without it each one is a guarded sequence of branches,
# and loops holding one, such as the relief's, are not vectorized.
foreach(layer IN LISTS QUILLORN_LAYERS)
  target_compile_options(quillorn_${layer} PRIVATE -msimd128
    -mnontrapping-fptoint)
endforeach()

# The endings of the formats the module reads, which the page's file
# picker accepts, asked of the format table (quillornReadEndings).
target_sources(quillorn PRIVATE "${CMAKE_SOURCE_DIR}/src/app/page_exports.cpp")

# One module per worker, kept from run to run and run as often as called:
# callMain with a command line (through runMain, web/file_storage.js,
# which puts back the stack the command line's words take: stackSave,
# stackRestore), FS for the files, UTF8ToString for the texts the module
# hands over. Memory grows to
# what a 32-bit module may have; beyond it an allocation fails and the
# tool says so, as it does anywhere.
target_link_options(quillorn PRIVATE
  -sMODULARIZE=1
  -sEXPORT_NAME=createQuillorn
  -sINVOKE_RUN=0
  -sEXIT_RUNTIME=0
  -sFORCE_FILESYSTEM=1
  "-sEXPORTED_RUNTIME_METHODS=[\"callMain\",\"FS\",\"UTF8ToString\",\"stackSave\",\"stackRestore\"]"
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=32MB
  -sMAXIMUM_MEMORY=4GB
  -sENVIRONMENT=web,worker,node
  "--post-js=${CMAKE_SOURCE_DIR}/web/file_storage.js")
# Files written grow by doubling (web/file_storage.js), not by an eighth.
set_property(TARGET quillorn APPEND PROPERTY LINK_DEPENDS
  "${CMAKE_SOURCE_DIR}/web/file_storage.js")

# The page's tests compare its output with the native build's, which the
# first of them brings up to date (build/release, as the release preset
# has it; configured there first when it is not). They convert the test
# data's maps: $QUILLORN_TESTDATA/heightmaps when that is set as they run,
# else this folder; where the maps are not there, maps of the same kinds
# made by make_heightmap (built beside the native quillorn).
set(QUILLORN_NATIVE_QUILLORN "${CMAKE_SOURCE_DIR}/build/release/quillorn"
    CACHE FILEPATH "The native quillorn the page's output is compared with")
set(QUILLORN_WEB_TEST_MAPS "${CMAKE_SOURCE_DIR}/../shared/testdata/heightmaps"
    CACHE PATH "The height maps the page's tests convert ($QUILLORN_TESTDATA/heightmaps first; made where absent)")
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
# 77: no maps and nothing to make them with, said in one line.
set_tests_properties(web_module_matches_native PROPERTIES
  FIXTURES_REQUIRED native SKIP_RETURN_CODE 77)

# The page's folder: what any static host serves as it is.
set(QUILLORN_PAGE "${CMAKE_BINARY_DIR}/page")
file(MAKE_DIRECTORY "${QUILLORN_PAGE}")
configure_file(web/index.html "${QUILLORN_PAGE}/index.html" @ONLY)

# fflate makes the zip of several outputs; npm installs it (with the
# browser tests' puppeteer-core) from web/package-lock.json.
set(QUILLORN_WEB_MODULES "${CMAKE_SOURCE_DIR}/web/node_modules")
find_program(QUILLORN_NPM npm)
if(NOT EXISTS "${QUILLORN_WEB_MODULES}/fflate/umd/index.js" AND QUILLORN_NPM)
  message(STATUS "Installing the page's npm packages (npm ci)")
  execute_process(COMMAND ${QUILLORN_NPM} ci --ignore-scripts --no-audit --no-fund
    WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}/web" RESULT_VARIABLE installed)
  if(NOT installed EQUAL 0)
    message(WARNING "npm ci failed in web/")
  endif()
endif()
if(NOT EXISTS "${QUILLORN_WEB_MODULES}/fflate/umd/index.js")
  message(FATAL_ERROR
    "fflate is missing: run npm ci in web/ (Debian: npm)")
endif()

include(cmake/web_notices.cmake)

set(page_sources page.js worker.js style.css)
set(page_files "")
foreach(name ${page_sources})
  list(APPEND page_files "${QUILLORN_PAGE}/${name}")
  add_custom_command(OUTPUT "${QUILLORN_PAGE}/${name}"
    COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/web/${name}"
            "${QUILLORN_PAGE}/${name}"
    DEPENDS "${CMAKE_SOURCE_DIR}/web/${name}" VERBATIM)
endforeach()
foreach(pair "README.md=README.md" "LICENSE=LICENSE"
        "web/node_modules/fflate/umd/index.js=fflate.js")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  list(APPEND page_files "${QUILLORN_PAGE}/${to}")
  add_custom_command(OUTPUT "${QUILLORN_PAGE}/${to}"
    COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/${from}"
            "${QUILLORN_PAGE}/${to}"
    DEPENDS "${CMAKE_SOURCE_DIR}/${from}" VERBATIM)
endforeach()
add_custom_target(page ALL
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quillorn>
          $<TARGET_FILE_DIR:quillorn>/quillorn.wasm "${QUILLORN_PAGE}"
  DEPENDS quillorn ${page_files}
  COMMENT "The page in ${QUILLORN_PAGE}"
  VERBATIM)

# The page in headless Chromium (Debian's), driven by puppeteer-core; it
# also converts a 4097 x 4097 map and adds its time to bench/.
find_program(QUILLORN_CHROMIUM NAMES chromium chromium-browser)
if(NOT QUILLORN_CHROMIUM)
  message(WARNING "chromium not found (Debian: chromium): the page is not tested in a browser")
  return()
endif()
add_test(NAME web_page_in_chromium
  COMMAND ${QUILLORN_NODE} ${CMAKE_SOURCE_DIR}/web/tests/browser_test.cjs
          ${QUILLORN_PAGE} ${QUILLORN_NATIVE_QUILLORN}
          ${QUILLORN_WEB_TEST_MAPS} ${CMAKE_BINARY_DIR}/Testing/browser
          ${CMAKE_BINARY_DIR}/Testing/bench_web.txt)
set_tests_properties(web_page_in_chromium PROPERTIES
  FIXTURES_REQUIRED native SKIP_RETURN_CODE 77
  ENVIRONMENT "QUILLORN_CHROMIUM=${QUILLORN_CHROMIUM}"
  TIMEOUT 900)
