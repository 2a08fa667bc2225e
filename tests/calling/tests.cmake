# The calling screens and the contact pick, driven offscreen by real keys and clicks.
dialer_add_test(test_phonecall SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestPhonecall.cpp LIBS dialerui)

# Calls placed from the screens against a ModemManager double on a private
# bus; dbus-daemon and python3-dbusmock must be installed.
dialer_add_test(test_callflow
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestCallFlow.cpp
  LIBS dialerui Qt6::DBus)

# The main call paths again, at Debian's ModemManager daemon (modemmanager)
# with a fake AT modem: a row a process, so that they run side by side.
foreach(row "worked example" "Pin Less: asked before any tone" "far end gone before the tones"
    "far end gone mid-sequence: no tone after" "another program hangs up"
    "keypad tones after the sequence's, Escape hangs up"
    "Exit with a call up asks to hang up first"
    "GNOME Calls beside it: it starts the call, every tone goes" "polkit says no"
    "a tone refused: the rest named, PIN as dots" "emergency: never through the card")
  add_test(NAME "test_callflow_real: ${row}" COMMAND test_callflow "call:${row}")
  set_tests_properties("test_callflow_real: ${row}" PROPERTIES TIMEOUT 300 ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/runtime;QT_FATAL_WARNINGS=0;DIALER_REAL_MODEMMANAGER=1")
endforeach()
# Killed in the middle of a call, that row, or the ctest running it, leaves
# no daemon, bus or fake modem behind.
add_test(NAME test_leaves_nothing COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/platform/leaves_nothing.py
  $<TARGET_FILE:test_callflow>)
set_tests_properties(test_leaves_nothing PROPERTIES TIMEOUT 300)
