# What every target of the project is compiled and linked with, beyond its
# sources: two INTERFACE targets that each target links PRIVATE (so that
# nothing passes them on), and the sanitizers (QUILLORN_SANITIZERS), which
# reach every file.
include_guard(GLOBAL)

# The warnings; presets only decide whether they are errors
# (CMAKE_COMPILE_WARNING_AS_ERROR).
add_library(quillorn_warnings INTERFACE)
if(MSVC)
  target_compile_options(quillorn_warnings INTERFACE /W4)
else()
  target_compile_options(quillorn_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion)
endif()

# The hardening Debian expects of optimized Linux builds: checked string and
# memory calls (which need optimization to work), stack protection, a
# position-independent executable, read-only relocations bound at start.
add_library(quillorn_hardening INTERFACE)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT MSVC)
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  target_compile_options(quillorn_hardening INTERFACE
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>
    -fstack-protector-strong)
  target_link_options(quillorn_hardening INTERFACE -Wl,-z,relro,-z,now)
endif()

# Sanitizers, and libFuzzer's coverage (only the fuzzer itself links
# libFuzzer), on every file and every program's link: in the flags CMake
# puts first on each command line, which the checks' test builds also take,
# so that a check such as the fuzzer's links as the project will.
set(quillorn_instrument "${QUILLORN_SANITIZERS}")
if(QUILLORN_FUZZ)
  if(quillorn_instrument)
    string(APPEND quillorn_instrument ",")
  endif()
  string(APPEND quillorn_instrument "fuzzer-no-link")
endif()
if(quillorn_instrument)
  set(quillorn_flags "-fsanitize=${quillorn_instrument} -fno-sanitize-recover=all -fno-omit-frame-pointer")
  if(CMAKE_CXX_FLAGS)
    string(APPEND quillorn_flags " ${CMAKE_CXX_FLAGS}")
  endif()
  set(CMAKE_CXX_FLAGS "${quillorn_flags}")
endif()
if(QUILLORN_SANITIZERS)
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -fsanitize=${QUILLORN_SANITIZERS}")
endif()
