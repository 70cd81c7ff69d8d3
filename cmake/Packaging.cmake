# Install rules and the Debian package. `cmake --install` and the .deb made
# by `cpack -G DEB` (scripts/package) install the same tree:
#   bin/quillon, bin/quillon-inspect, bin/quillon-render
#   share/quillon/examples/            example spectra
#   share/applications/quillon.desktop
#   share/metainfo/org.example.quillon.metainfo.xml   AppStream metadata
#   share/icons/hicolor/*/apps/quillon.{png,svg}
#   share/man/man1/*.1.gz
#   share/doc/quillon/README.md, copyright, changelog.gz
# Included from the top CMakeLists.txt after every subdirectory, so that
# if(TARGET ...) sees the targets the subdirectories define.
include(GNUInstallDirs)

set(QUILLON_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")

# The programs install themselves: app/ installs quillon and tools/ the
# tools quillon-inspect and quillon-render, each into bin/.

# Example spectra, whatever the examples folder holds apart from settings
# files a run may leave behind there.
install(DIRECTORY "${PROJECT_SOURCE_DIR}/examples/"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/quillon/examples
  PATTERN "Quillon3.ini" EXCLUDE
  PATTERN ".*" EXCLUDE)

# Desktop integration; the AppStream metadata lets software centres list
# Quillon (scripts/test validates it).
install(FILES "${QUILLON_PACKAGING_DIR}/quillon.desktop"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${QUILLON_PACKAGING_DIR}/org.example.quillon.metainfo.xml"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES "${QUILLON_PACKAGING_DIR}/icons/quillon.svg"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES "${QUILLON_PACKAGING_DIR}/icons/quillon-${size}.png"
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME quillon.png)
endforeach()

# Man pages, gzipped at build time (-n keeps the archive free of a time
# stamp, so rebuilding gives the same bytes).
find_program(QUILLON_GZIP gzip REQUIRED)
set(quillon_man_pages "")
foreach(page quillon quillon-inspect quillon-render)
  set(source "${QUILLON_PACKAGING_DIR}/man/${page}.1")
  set(zipped "${PROJECT_BINARY_DIR}/man/${page}.1.gz")
  add_custom_command(OUTPUT "${zipped}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${PROJECT_BINARY_DIR}/man"
    COMMAND ${QUILLON_GZIP} -9 -n -c "${source}" > "${zipped}"
    DEPENDS "${source}"
    COMMENT "Compressing man page ${page}.1"
    VERBATIM)
  list(APPEND quillon_man_pages "${zipped}")
endforeach()
# The Debian changelog of a native package, gzipped the same way.
set(quillon_changelog "${PROJECT_BINARY_DIR}/changelog.gz")
add_custom_command(OUTPUT "${quillon_changelog}"
  COMMAND ${QUILLON_GZIP} -9 -n -c "${QUILLON_PACKAGING_DIR}/changelog" > "${quillon_changelog}"
  DEPENDS "${QUILLON_PACKAGING_DIR}/changelog"
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(quillon_man_pages ALL DEPENDS ${quillon_man_pages} "${quillon_changelog}")
install(FILES ${quillon_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${QUILLON_PACKAGING_DIR}/copyright" "${quillon_changelog}"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillon)

# The compiler's and the C library's version notes (.comment and .note
# sections) are of no use in installed programs; Debian's packaging tools
# remove them, and so does the install here, after the programs are in place
# (the subdirectories' install rules run before this file's).
find_program(QUILLON_OBJCOPY NAMES objcopy)
if(QUILLON_OBJCOPY)
  set(quillon_programs "")
  foreach(program quillon quillon-inspect quillon-render)
    if(TARGET ${program})
      list(APPEND quillon_programs "${program}")
    endif()
  endforeach()
  install(CODE "
    foreach(program ${quillon_programs})
      set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
      if(EXISTS \"\${file}\")
        execute_process(COMMAND \"${QUILLON_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                        \"\${file}\" RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
          message(FATAL_ERROR \"objcopy failed on \${file}\")
        endif()
      endif()
    endforeach()
  ")
endif()

# The Debian package.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "quillon")
set(CPACK_PACKAGE_VENDOR "Quillon team")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillon team <quillon@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# CPack puts the summary on the Description line and indents these lines
# below it; an empty line becomes the paragraph separator " .". Lines stay
# within 79 characters with their indent.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Quillon shows up to sixteen one-dimensional, wavelength-calibrated
astronomical spectra stored as FITS files (BITPIX 16, 32, -32 or -64),
each normalised so that its typical peak reads 100, drawn together as
staircase curves with per-spectrum offsets, zoom, pan, a cursor read-out
of wavelength and intensity, printing and export as PNG, SVG or PDF.
A header viewer lists each file's FITS cards.

The package also holds quillon-inspect, which prints what the viewer
makes of a file (its messages, header values and samples) as JSON, and
quillon-render, which draws spectra into a PNG, SVG or PDF file without
a display.")
# Library dependencies come from dpkg-shlibdeps over the installed binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Application menus and icon caches are refreshed by the desktop's own
# triggers (desktop-file-utils, hicolor-icon-theme), so no maintainer scripts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")
# The windows are laid out in twips for Arial-wide text; Liberation Sans has
# Arial's metrics, so captions fit their boxes as designed.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
include(CPack)
