# The Debian package, built by `cpack` (scripts/package.sh drives it): the
# installed files of src/ui.cmake plus the copyright, changelog and manual
# page Debian asks for, stripped, with the library dependencies found by
# dpkg-shlibdeps.

# One version for the program, its metadata and its changelog: a release that
# bumps one of them and forgets another stops here.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/deb/changelog changelog_top LIMIT_COUNT 1)
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/${DIALER_APP_ID}.metainfo.xml metainfo_release REGEX "<release ")
list(GET metainfo_release 0 metainfo_release)
if(NOT changelog_top MATCHES "^dialer \\(${PROJECT_VERSION}\\) "
   OR NOT metainfo_release MATCHES "version=\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "version ${PROJECT_VERSION} must head packaging/deb/changelog and the metainfo's releases")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/packaging/deb/changelog ${PROJECT_SOURCE_DIR}/packaging/${DIALER_APP_ID}.metainfo.xml
  ${PROJECT_SOURCE_DIR}/packaging/dialer.1)

# Debian wants the changelog and the manual page compressed with gzip -9n
# (no name, no time stamp).
foreach(doc deb/changelog dialer.1)
  get_filename_component(name ${doc} NAME)
  execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/${doc}
    OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz COMMAND_ERROR_IS_FATAL ANY)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/dialer.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dialer)
set(CPACK_PACKAGE_CONTACT "Quorin Dialer developers <dialer@quorin.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "calling card dialer for prepaid and access-number cards")
set(CPACK_PACKAGE_DESCRIPTION "A calling card routes a call through the card's service: dial the access
number, key in the PIN, then the number wanted with the card's prefix, with
pauses in between. Quorin Dialer keeps a book of up to ten such cards, takes
the number typed, from the contacts or from a clicked tel: link, and places
the whole call in one go through ModemManager, or hands it to the desktop's
telephony program.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quorin.org/dialer/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries: the faces the screens' fonts resolve to, and Qt SQL's
# SQLite driver, a plugin that dpkg-shlibdeps cannot see, for the call history.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-liberation2, libqt6sql6-sqlite")
# Wayland sessions (Linux phones), the modem, tel: handoff to the desktop, the
# address books of GNOME and Phosh, and Qt's own translations (the message
# boxes' OK and Cancel): the dialer's own are built in, and without Qt's the
# buttons stay English, nothing fails. Without evolution-data-server the
# contacts come from vCard folders alone; libebook itself, which the program
# links, comes through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, modemmanager, xdg-utils, evolution-data-server, qt6-translations-l10n")
include(CPack)
