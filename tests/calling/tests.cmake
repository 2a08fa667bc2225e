# The calling screens and the contact pick, driven offscreen by real keys and clicks.
dialer_add_test(test_phonecall SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestPhonecall.cpp LIBS dialerui)

# Calls placed from the screens against a ModemManager double on a private
# bus; dbus-daemon and python3-dbusmock must be installed.
dialer_add_test(test_callflow
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestCallFlow.cpp
  LIBS dialerui Qt6::DBus)
