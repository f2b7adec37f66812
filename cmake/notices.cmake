# Helpers for a THIRD-PARTY-NOTICES.txt (the Windows zip's, the web
# page's): the caller sets QUILLORN_NOTICES to the file being written.
include_guard(GLOBAL)

# The version of an installed Debian package, or "not recorded".
function(quillorn_package_version package result)
  set(version "")
  find_program(QUILLORN_DPKG_QUERY dpkg-query)
  if(QUILLORN_DPKG_QUERY)
    execute_process(
      COMMAND ${QUILLORN_DPKG_QUERY} -W -f=\${Version} ${package}
      OUTPUT_VARIABLE version ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(version STREQUAL "")
    set(version "not recorded")
  endif()
  set(${result} "${version}" PARENT_SCOPE)
endfunction()

# Appends to QUILLORN_NOTICES a heading and a file's text (or a note that it
# is missing).
function(quillorn_notice_text title path)
  file(APPEND "${QUILLORN_NOTICES}"
       "\n\n${title}\n==============================================================================\n\n")
  if(EXISTS "${path}")
    file(READ "${path}" text)
    file(APPEND "${QUILLORN_NOTICES}" "${text}")
  else()
    file(APPEND "${QUILLORN_NOTICES}" "(${path} was not found at build time)\n")
  endif()
endfunction()
