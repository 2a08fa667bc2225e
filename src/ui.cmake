# The screens and the program. One library so that tests drive exactly the
# code the program runs.
qt_add_resources(DIALER_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/res/res.qrc)
include(${CMAKE_CURRENT_LIST_DIR}/i18n.cmake)

file(GLOB DIALER_SCREEN_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/screens/*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calling/Phonecall*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calling/Confirmcall*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calling/CallScreen*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calling/phonebook*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calling/CallPlacement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calling/RecentCalls.cpp)

add_library(dialerui STATIC
  ${DIALER_RESOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/res/DialogTemplates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/Accessibility.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/AppInstance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/AppStart.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/DeviceClass.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/DialogBase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/DialerDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/MessageBoxes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/PhoneLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/ScrollRules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/TelLink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/Translations.cpp
  ${DIALER_SCREEN_SOURCES}
)
target_include_directories(dialerui PUBLIC
  ${CMAKE_CURRENT_LIST_DIR}/res
  ${CMAKE_CURRENT_LIST_DIR}/app
  ${CMAKE_CURRENT_LIST_DIR}/screens
  ${CMAKE_CURRENT_LIST_DIR}/calling)
target_link_libraries(dialerui PUBLIC cardbook Qt6::Widgets Qt6::DBus)
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/app/TelLink.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS DIALER_VERSION="${PROJECT_VERSION}")
foreach(lib dialstring phoneservice contacts phonenumbers homecountry callhistory)
  if(TARGET ${lib})
    target_link_libraries(dialerui PUBLIC ${lib})
  endif()
endforeach()

add_executable(dialer ${CMAKE_CURRENT_LIST_DIR}/app/main.cpp)
target_link_libraries(dialer PRIVATE dialerui)
# Installed under the application id (set in the top CMakeLists.txt).
configure_file(${PROJECT_SOURCE_DIR}/packaging/${DIALER_APP_ID}.service.in ${DIALER_APP_ID}.service @ONLY)
install(TARGETS dialer)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${DIALER_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${DIALER_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${DIALER_APP_ID}.service DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/services)
set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/res/icon.svg DESTINATION ${icons}/scalable/apps RENAME ${DIALER_APP_ID}.svg)
foreach(size 64 128)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/res/icon-${size}.png DESTINATION ${icons}/${size}x${size}/apps
    RENAME ${DIALER_APP_ID}.png)
endforeach()
