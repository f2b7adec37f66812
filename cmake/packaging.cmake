# Installation and packages: `cmake --install` puts the tool, its manual
# page, its bash completion, the README with its pictures and the licence in
# place; `cmake --workflow --preset package` makes a .tar.gz of the same and
# a .deb (lintian-clean), where Debian's copyright file stands for the
# licence and Debian's own files (its changelog, the lintian override) come
# along, which a plain installation has no use for. The Windows build makes a zip to unpack
# anywhere: quillorn.exe, the README, the licence and the notices of what
# the exe links statically.

if(WIN32)
  include(cmake/windows_notices.cmake)
  install(TARGETS quillorn RUNTIME DESTINATION .)
  install(FILES README.md LICENSE ${QUILLORN_NOTICES} DESTINATION .)
  install(FILES docs/sample_before.png docs/sample_after.png docs/building.md
          docs/fitting.md docs/internals.md docs/layout.md docs/messages.md
          docs/output-safety.md docs/performance.md docs/testing.md
          docs/usage.md DESTINATION docs)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME quillorn)
  set(CPACK_PACKAGE_VENDOR "The Quillorn authors")
  set(CPACK_PACKAGE_FILE_NAME "quillorn-${PROJECT_VERSION}-win64")
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

install(TARGETS quillorn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages are installed compressed, as Debian wants them; -n keeps the
# archive the same from one build to the next.
find_program(QUILLORN_GZIP gzip)
if(QUILLORN_GZIP)
  set(QUILLORN_MAN_GZ ${CMAKE_BINARY_DIR}/quillorn.1.gz)
  add_custom_command(OUTPUT ${QUILLORN_MAN_GZ}
    COMMAND ${QUILLORN_GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/docs/quillorn.1
            > ${QUILLORN_MAN_GZ}
    DEPENDS ${CMAKE_SOURCE_DIR}/docs/quillorn.1
    VERBATIM)
  set(QUILLORN_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
  add_custom_command(OUTPUT ${QUILLORN_CHANGELOG_GZ}
    COMMAND ${QUILLORN_GZIP} -9 -n -c
            ${CMAKE_SOURCE_DIR}/packaging/changelog.Debian
            > ${QUILLORN_CHANGELOG_GZ}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog.Debian
    VERBATIM)
  add_custom_target(quillorn_compressed_docs ALL
    DEPENDS ${QUILLORN_MAN_GZ} ${QUILLORN_CHANGELOG_GZ})
  install(FILES ${QUILLORN_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${QUILLORN_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR}
          COMPONENT debian EXCLUDE_FROM_ALL)
else()
  install(FILES docs/quillorn.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README's pictures and the pages it links to.
set(QUILLORN_DOCS docs/sample_before.png docs/sample_after.png
    docs/building.md docs/fitting.md docs/internals.md docs/layout.md
    docs/messages.md docs/output-safety.md docs/performance.md
    docs/testing.md docs/usage.md)
install(FILES ${QUILLORN_DOCS} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT licence)
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quillorn
        COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES packaging/quillorn.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME quillorn)

set(CPACK_PACKAGE_NAME quillorn)
set(CPACK_PACKAGE_VENDOR "The Quillorn authors")
set(CPACK_PACKAGE_CONTACT "Quillorn authors <maintainers@quillorn.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "height map converter for terrain: BMP, raw, PGM, PNG, GeoTIFF, SRTM")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillorn re-encodes terrain height maps. It reads 8- and 24-bit BMP\n\
height maps whose pixels carry heights as green x 255 + red, raw 16-bit\n\
heights and 32-bit floats in either byte order, 16-bit PGM, PFM,\n\
greyscale PNG, TIFF and GeoTIFF elevation data (integers or floats, with\n\
nodata), OpenEXR and SRTM tiles; it can rescale or normalize the heights,\n\
smooth them, shift them to a minimum, flip, turn and resample them, fit\n\
them to Unity's, Unreal's or Godot's terrains, north up at their true\n\
heights, cut them into tiles, and writes BMP, raw, PGM, PNG, TIFF or\n\
OpenEXR, replacing an output only once it is complete. It can also draw\n\
a shaded relief picture of the map for any image viewer.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME
    "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillorn.invalid/")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER
    "Quillorn authors <maintainers@quillorn.invalid>")
# Dependencies from the binary's own needs (libc, libstdc++, libspng).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Which files each package takes (cmake/package_components.cmake.in).
configure_file(cmake/package_components.cmake.in
               ${CMAKE_BINARY_DIR}/package_components.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/package_components.cmake)
include(CPack)
