# The screens and the program. One library so that tests drive exactly the
# code the program runs.
qt_add_resources(DIALER_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/res/res.qrc)

file(GLOB DIALER_SCREEN_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/screens/*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calling/Phonecall*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calling/Confirmcall*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calling/phonebook*.cpp)

add_library(dialerui STATIC
  ${DIALER_RESOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/res/DialogTemplates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/AppInstance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/AppStart.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/DeviceClass.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/DialogBase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/DialerDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/MessageBoxes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/ScrollRules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/TelLink.cpp
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
foreach(lib dialstring phoneservice contacts)
  if(TARGET ${lib})
    target_link_libraries(dialerui PUBLIC ${lib})
  endif()
endforeach()

add_executable(dialer ${CMAKE_CURRENT_LIST_DIR}/app/main.cpp)
target_link_libraries(dialer PRIVATE dialerui)
install(TARGETS dialer)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/dialer.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/dialer.metainfo.xml DESTINATION share/metainfo)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/res/icon.svg DESTINATION share/icons/hicolor/scalable/apps RENAME dialer.svg)
