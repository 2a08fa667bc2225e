dialer_add_test(test_dialstring
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestDialString.cpp
  LIBS dialstring)
