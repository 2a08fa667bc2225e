# The card maintenance screens, driven through their real templates.
foreach(screen AddCard EditCard DeleteCard)
  string(TOLOWER ${screen} name)
  dialer_add_test(test_${name}
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/Test${screen}.cpp
    LIBS dialerui)
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common ${CMAKE_CURRENT_LIST_DIR})
endforeach()

# Pictures of the screens for people to look at, with a check of the layout.
dialer_add_test(test_cardscreenshots
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestCardScreenShots.cpp
  LIBS dialerui)
target_include_directories(test_cardscreenshots PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(test_cardscreenshots PRIVATE SHOTS_DIR="${CMAKE_BINARY_DIR}/shots")
