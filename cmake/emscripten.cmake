# Cross build for the browser with Debian's Emscripten (packages emscripten
# and node-acorn): its own platform file, plus the module path that its
# JavaScript tools need when a node other than Debian's comes first on PATH.
set(QUILLORN_EMSCRIPTEN_ROOT "/usr/share/emscripten")
if(DEFINED ENV{EMSCRIPTEN_ROOT})
  set(QUILLORN_EMSCRIPTEN_ROOT "$ENV{EMSCRIPTEN_ROOT}")
endif()
include("${QUILLORN_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake")

# Debian's acorn lives there; a node from elsewhere does not look there on
# its own. Configuring (and its test links) runs in this process; the
# build's links run through the launcher.
set(QUILLORN_NODE_PATH "/usr/share/nodejs")
set(ENV{NODE_PATH} "${QUILLORN_NODE_PATH}")
set(CMAKE_C_LINKER_LAUNCHER env "NODE_PATH=${QUILLORN_NODE_PATH}")
set(CMAKE_CXX_LINKER_LAUNCHER env "NODE_PATH=${QUILLORN_NODE_PATH}")
