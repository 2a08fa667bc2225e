dialer_add_test(test_vcard
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestVCard.cpp
  LIBS contacts_core Qt6::Core)
dialer_add_test(test_contactchooser
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestContactChooser.cpp
  LIBS contacts Qt6::Widgets)
