# Run by CTest after the tests (CTEST_CUSTOM_POST_TEST): one line for each
# test that skipped itself, with the reason it gave, so that CTest's normal
# output says why and not only which. Each skipping test leaves its reason
# in a file of DIR (QUILLORN_SKIP_REASONS in its environment).
#
#   cmake -DDIR=<build>/Testing/skips -P explain_skips.cmake
file(GLOB reasons "${DIR}/*.txt")
if(NOT reasons)
  return()
endif()
list(SORT reasons)
message("Why tests were skipped:")
foreach(path IN LISTS reasons)
  file(READ "${path}" reason)
  string(STRIP "${reason}" reason)
  get_filename_component(name "${path}" NAME_WLE)
  message("  ${name}: ${reason}")
endforeach()
