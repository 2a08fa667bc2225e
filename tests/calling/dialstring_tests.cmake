dialer_add_test(test_dialstring
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestDialString.cpp
  LIBS dialstring)
# Numbers made international and emergency numbers, through libphonenumber.
dialer_add_test(test_phonenumbers SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestPhoneNumbers.cpp LIBS phonenumbers)
