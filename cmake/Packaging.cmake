# What an installation holds beside the programs, and the packages made of it (scripts/package):
# on Linux the files a desktop and a Debian system expect (manual, desktop entry, icons,
# AppStream metainfo, man pages, copyright and changelog) and the .deb, made by CPack; on Windows
# the Qt and compiler DLLs the window needs beside it, and everything in one folder that the
# installer (packaging/windows) takes as it stands.

set(QC_MAINTAINER "${QC_PUBLISHER} <maintainers@quillon-converter.invalid>"
    CACHE STRING "Maintainer field of the .deb and its changelog: Name <address>")

install(TARGETS quillon-convert eml2msg eml2pst pstcheck RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quillon-converter)
  install(TARGETS quillon-converter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(WIN32)
  # Everything in one folder, the manual beside the window that opens it (app/CMakeLists.txt
  # adds Qt's DLLs).
  install(FILES ${PROJECT_SOURCE_DIR}/docs/manual.html DESTINATION ${CMAKE_INSTALL_BINDIR})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/product.wxi.in
                 ${PROJECT_BINARY_DIR}/packaging/product.wxi @ONLY)
  return()
endif()

# --- Linux ------------------------------------------------------------------------------------

set(QC_MANUAL_INSTALLED "${CMAKE_INSTALL_FULL_DATADIR}/quillon-converter/manual.html")
install(FILES ${PROJECT_SOURCE_DIR}/docs/manual.html
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quillon-converter)

string(SUBSTRING "${QC_RELEASE_DATE}" 0 4 QC_RELEASE_YEAR)
# Debian's changelog dates (RFC 2822) for the release date.
execute_process(COMMAND date -u -R -d "${QC_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE QC_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

set(generated ${PROJECT_BINARY_DIR}/packaging)
set(linux ${PROJECT_SOURCE_DIR}/packaging/linux)
# Man pages and the changelog compressed as Debian wants them: gzip -9, no name or time inside,
# so that two builds give the same bytes.
set(compressed "")
function(qc_gzip source target)
  add_custom_command(OUTPUT ${target} COMMAND sh -c "gzip -9nc < \"$0\" > \"$1\"" ${source} ${target}
                     DEPENDS ${source} VERBATIM)
  set(compressed ${compressed} ${target} PARENT_SCOPE)
endfunction()

foreach(page quillon-convert eml2msg eml2pst pstcheck quillon-converter)
  if(page STREQUAL "quillon-converter" AND NOT TARGET quillon-converter)
    continue()
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in ${generated}/man/${page}.1 @ONLY)
  qc_gzip(${generated}/man/${page}.1 ${generated}/man/${page}.1.gz)
  install(FILES ${generated}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

set(doc ${CMAKE_INSTALL_DATADIR}/doc/quillon-converter)
configure_file(${linux}/copyright.in ${generated}/copyright @ONLY)
configure_file(${linux}/changelog.in ${generated}/changelog @ONLY)
qc_gzip(${generated}/changelog ${generated}/changelog.gz)
install(FILES ${generated}/copyright ${generated}/changelog.gz DESTINATION ${doc})
install(FILES ${linux}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME quillon-converter)

if(TARGET quillon-converter)
  configure_file(${linux}/desktop.in ${generated}/${QC_APP_ID}.desktop @ONLY)
  configure_file(${linux}/metainfo.xml.in ${generated}/${QC_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${generated}/${QC_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${generated}/${QC_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The icon theme's sizes, rendered from the window's artwork by the program's own renderer.
  if(NOT TARGET quillon-converter-artwork)
    message(FATAL_ERROR "The icons of a Linux installation are rendered with Qt's SVG module")
  endif()
  add_custom_command(OUTPUT ${generated}/icons/stamp
                     COMMAND quillon-converter-artwork icons ${generated}/icons ${QC_APP_ID}
                     COMMAND ${CMAKE_COMMAND} -E touch ${generated}/icons/stamp
                     DEPENDS quillon-converter-artwork VERBATIM)
  list(APPEND compressed ${generated}/icons/stamp)
  install(DIRECTORY ${generated}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
  install(FILES ${PROJECT_SOURCE_DIR}/app/resources/window-icon.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${QC_APP_ID}.svg)
endif()
add_custom_target(qc_package_files ALL DEPENDS ${compressed})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon-converter)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${QC_PUBLISHER})
set(CPACK_PACKAGE_CONTACT ${QC_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert Quillon mailboxes into message files or .pst files")
# No line may begin with a dot: dpkg reads such a line as a control statement.
set(CPACK_PACKAGE_DESCRIPTION
    "Quillon Converter turns the mailbox files of the Quillon mail client
(.mbx, .mbox) into one .eml or .emlx file per message, one Outlook .msg file
per message, or one Outlook data file (.pst) per mailbox, written by its own
code, without Outlook.

The package holds the window (quillon-converter), the command line
(quillon-convert), and eml2msg, eml2pst and pstcheck for single messages and
data files.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian-strip.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
if(TARGET quillon-converter)
  # Qt's libraries load the platform plugins at run time: no library dependency names them.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  # Help opens the manual through the desktop's own opener.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
endif()
include(CPack)
