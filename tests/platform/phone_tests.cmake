# Runs the phone service against a ModemManager double (python3-dbusmock) on a
# private bus; dbus-daemon and python3-dbusmock must be installed.
dialer_add_test(test_phoneservice
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestPhoneService.cpp
  LIBS phoneservice Qt6::DBus Qt6::Widgets)
target_link_libraries(test_phoneservice PRIVATE homecountry)
