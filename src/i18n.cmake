# The translations: translations/dialer_<lang>.ts made into .qm files by
# lrelease at build time and embedded as the resources under :/i18n, so that
# the program finds them from the build tree and installed alike. The .ts
# files are refreshed from the sources only by hand
# (scripts/update-translations.sh), never by a build.
set(DIALER_LANGUAGES es de)
find_program(DIALER_LRELEASE lrelease
  PATHS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS} /usr/lib/qt6/bin NO_DEFAULT_PATH)
find_program(DIALER_LUPDATE lupdate
  PATHS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS} /usr/lib/qt6/bin NO_DEFAULT_PATH)
if(NOT DIALER_LRELEASE)
  message(FATAL_ERROR "Qt 6's lrelease is missing (Debian: qt6-l10n-tools; scripts/setup.sh installs it)")
endif()
set(i18n_entries "")
foreach(lang ${DIALER_LANGUAGES})
  set(ts ${PROJECT_SOURCE_DIR}/translations/dialer_${lang}.ts)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/dialer_${lang}.qm
    COMMAND ${DIALER_LRELEASE} -silent ${ts} -qm ${CMAKE_CURRENT_BINARY_DIR}/dialer_${lang}.qm
    DEPENDS ${ts} VERBATIM)
  string(APPEND i18n_entries "    <file>dialer_${lang}.qm</file>\n")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/i18n.qrc
  CONTENT "<RCC>\n  <qresource prefix=\"/i18n\">\n${i18n_entries}  </qresource>\n</RCC>\n")
qt_add_resources(DIALER_RESOURCES ${CMAKE_CURRENT_BINARY_DIR}/i18n.qrc)
