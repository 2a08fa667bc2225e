# The home screen, the program's start and the rules every screen shares.
# Exit, deep stacks and starts run in a child, which is this same program
# started again; a private session bus (dbus-daemon) stands in for the user's.
dialer_add_test(test_app SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestApp.cpp LIBS dialerui)
# The program itself, started on Wayland under a headless compositor.
add_test(NAME test_wayland COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/wayland.sh $<TARGET_FILE:dialer>)
set_tests_properties(test_wayland PROPERTIES TIMEOUT 300)
# Every screen and message box under the Spanish and German translations.
dialer_add_test(test_translations SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestTranslations.cpp LIBS dialerui)
add_test(NAME test_translations_complete
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/translations.sh ${PROJECT_SOURCE_DIR} ${DIALER_LUPDATE})
# The screens through AT-SPI, as a screen reader gets them, in English and Spanish.
add_test(NAME test_atspi
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/atspi.sh $<TARGET_FILE:dialer> ${PROJECT_SOURCE_DIR}/tests/data/cardfile/three_cards.bin)
set_tests_properties(test_atspi PROPERTIES TIMEOUT 300)
