# The calling screens, driven offscreen by real keys and clicks.
dialer_add_test(test_phonecall
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestPhonecall.cpp
  LIBS dialerui)
target_include_directories(test_phonecall PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)

# Calls placed from the screens against a ModemManager double on a private
# bus; dbus-daemon and python3-dbusmock must be installed.
dialer_add_test(test_callflow
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestCallFlow.cpp
  LIBS dialerui Qt6::DBus)
target_include_directories(test_callflow PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)

# Destinations taken from vCard contacts through the real chooser.
dialer_add_test(test_contactpick
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestContactPick.cpp
  LIBS dialerui)
target_include_directories(test_contactpick PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
