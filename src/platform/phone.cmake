# The stand-in for the handheld's phone service: PhoneMakeCall over
# ModemManager (system D-Bus) or the desktop's tel: handler.
add_library(phoneservice STATIC
  ${CMAKE_CURRENT_LIST_DIR}/PhoneMakeCall.h
  ${CMAKE_CURRENT_LIST_DIR}/PhoneMakeCall.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PhoneService.h
  ${CMAKE_CURRENT_LIST_DIR}/PhoneService.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PhoneServiceDialPlan.h
  ${CMAKE_CURRENT_LIST_DIR}/PhoneServiceDialPlan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PhoneServiceMessages.h
  ${CMAKE_CURRENT_LIST_DIR}/ApplicationId.h
  ${CMAKE_CURRENT_LIST_DIR}/TelHandlers.h
  ${CMAKE_CURRENT_LIST_DIR}/TelHandlers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CallAudio.h
  ${CMAKE_CURRENT_LIST_DIR}/CallAudio.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SleepInhibitor.h
  ${CMAKE_CURRENT_LIST_DIR}/SleepInhibitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModemManagerCall.h
  ${CMAKE_CURRENT_LIST_DIR}/ModemManagerCall.cpp)
target_include_directories(phoneservice PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(phoneservice
  PUBLIC Qt6::Core Qt6::DBus
  PRIVATE Qt6::Gui Qt6::Widgets)
