# The Debian package: both programs, the desktop entry and its icons, the
# guides; dependencies read from the shared libraries linked
# (dpkg-shlibdeps). scripts/package runs cpack.
include(GNUInstallDirs)
install(TARGETS quillomar-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(QUILLOMAR_BUILD_GUI)
  install(TARGETS quillomar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/quillomar.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 16 32)
    install(FILES ${PROJECT_SOURCE_DIR}/src/ui/resources/icon${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quillomar.png)
  endforeach()
endif()
set(QUILLOMAR_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quillomar)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${QUILLOMAR_DOC_DIR})
# The Japanese guide, as the Windows zip carries it in docs/: HTML with its
# pictures (the CP932 text made beside it is the zip's alone).
set(guide_source ${PROJECT_SOURCE_DIR}/packaging/windows/guide-ja.txt)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/guide-ja.html
  COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/packaging/windows/guide_html.py ${guide_source}
    ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/guide-ja.cp932.txt ${CMAKE_BINARY_DIR}/guide-ja.html
  DEPENDS ${guide_source} ${PROJECT_SOURCE_DIR}/packaging/windows/guide_html.py)
add_custom_target(quillomar_guide ALL DEPENDS ${CMAKE_BINARY_DIR}/guide-ja.html)
install(FILES ${CMAKE_BINARY_DIR}/guide-ja.html ${PROJECT_SOURCE_DIR}/docs/screenshot-windows.png
  ${PROJECT_SOURCE_DIR}/docs/screenshot-windows-running.png DESTINATION ${QUILLOMAR_DOC_DIR})

# The copyright file (machine-readable): the project's licence and those of
# what is compiled in from elsewhere.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/copyright
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/copyright.py ${PROJECT_SOURCE_DIR}/LICENSE
    /usr/share/doc/libsimpleini-dev/copyright ${CMAKE_BINARY_DIR}/copyright
  DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_LIST_DIR}/copyright.py)
add_custom_target(quillomar_copyright ALL DEPENDS ${CMAKE_BINARY_DIR}/copyright)
install(FILES ${CMAKE_BINARY_DIR}/copyright DESTINATION ${QUILLOMAR_DOC_DIR})

# Manual pages: the dialog's written by hand, the command line's made from
# its own --help, so the two never disagree.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/quillomar-cli.1.gz
  COMMAND help2man --no-info --no-discard-stderr --version-string=${PROJECT_VERSION}
    "--name=build a sitemap.xml for a web site kept on an FTP or SFTP server, without the dialog"
    --output=${CMAKE_BINARY_DIR}/quillomar-cli.1 $<TARGET_FILE:quillomar-cli>
  # Japanese lines have no spaces to stretch: left-aligned, not justified.
  COMMAND sed -i "/^\\.TH /a .ad l" ${CMAKE_BINARY_DIR}/quillomar-cli.1
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/quillomar-cli.1
  DEPENDS quillomar-cli VERBATIM)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/quillomar.1.gz
  COMMAND gzip -9nc ${CMAKE_CURRENT_LIST_DIR}/quillomar.1 > ${CMAKE_BINARY_DIR}/quillomar.1.gz
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/quillomar.1)
add_custom_target(quillomar_manuals ALL DEPENDS ${CMAKE_BINARY_DIR}/quillomar-cli.1.gz ${CMAKE_BINARY_DIR}/quillomar.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/quillomar-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(QUILLOMAR_BUILD_GUI)
  install(FILES ${CMAKE_BINARY_DIR}/quillomar.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The package's changelog, as Debian keeps it for a native package.
set(QUILLOMAR_MAINTAINER "Quillomar developers <quillomar@users.noreply.invalid>")
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CMAKE_BINARY_DIR}/changelog
  "quillomar (${PROJECT_VERSION}) unstable; urgency=medium\n\n  * Release ${PROJECT_VERSION}.\n\n"
  " -- ${QUILLOMAR_MAINTAINER}  ${changelog_date}\n")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/changelog)
add_custom_target(quillomar_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${QUILLOMAR_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillomar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sitemap.xml for a web site kept on an FTP or SFTP server")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillomar logs in to the server that holds a web site (FTP, FTP over TLS or
SFTP), walks its folder tree, writes a Sitemaps 0.9 sitemap.xml (optionally
with the mobile extension) and can upload it back. It comes as a desktop
program with a Japanese dialog and as a command-line tool for scheduled
runs.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLOMAR_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES ON)
include(CPack)
