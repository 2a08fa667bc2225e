dialer_add_test(test_vcard
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestVCard.cpp
  LIBS contacts_core Qt6::Core)
dialer_add_test(test_contactchooser
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestContactChooser.cpp
  LIBS contacts Qt6::Widgets)

# Contacts from a real Evolution Data Server on a private session bus of the
# test's own: dbus-daemon, evolution-data-server and python3-dbus must be
# installed. Seeded through libebook, which stays out of Qt's way in a file
# of its own.
add_library(eds_seed STATIC ${PROJECT_SOURCE_DIR}/tests/common/EdsSeed.cpp)
target_link_libraries(eds_seed PRIVATE PkgConfig::EDS)
set_target_properties(eds_seed PROPERTIES AUTOMOC OFF)
dialer_add_test(test_eds_contacts
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestEdsContacts.cpp
  LIBS dialerui eds_seed Qt6::DBus
  ARGS absent list pick)
# A daemon that never answers must hold its name before EDS's own does: a
# program a row.
foreach(row "registry" "address books")
  add_test(NAME "test_eds_contacts_stalled: ${row}" COMMAND test_eds_contacts "stalled:${row}")
  set_tests_properties("test_eds_contacts_stalled: ${row}" PROPERTIES TIMEOUT 300 ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/runtime;QT_FATAL_WARNINGS=0")
endforeach()
