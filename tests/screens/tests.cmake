# The card maintenance screens, driven through their real templates.
dialer_add_test(test_cardscreens
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestCardScreens.cpp
  LIBS dialerui)

# The phone layout on a 360 x 720 offscreen display.
dialer_add_test(test_phonelayout
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestPhoneLayout.cpp
  LIBS dialerui)
