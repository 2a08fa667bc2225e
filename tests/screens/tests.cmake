# The card maintenance screens, driven through their real templates.
dialer_add_test(test_cardscreens
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestCardScreens.cpp
  LIBS dialerui)

