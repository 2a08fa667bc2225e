dialer_add_test(test_cardfile
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestCardFile.cpp
  LIBS cardbook Qt6::Core)
