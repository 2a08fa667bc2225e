# The card maintenance screens, driven through their real templates.
foreach(screen AddCard EditCard DeleteCard)
  string(TOLOWER ${screen} name)
  dialer_add_test(test_${name}
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/Test${screen}.cpp
    LIBS dialerui)
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common ${CMAKE_CURRENT_LIST_DIR})
endforeach()

# Crash safety of every save: a child without Qt saves and is killed.
add_executable(save_crash_child ${CMAKE_CURRENT_LIST_DIR}/SaveCrashChild.cpp)
target_link_libraries(save_crash_child PRIVATE cardbook)
dialer_add_test(test_savecrash
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestSaveCrash.cpp
  LIBS cardbook Qt6::Core
  TIMEOUT 120)
add_dependencies(test_savecrash save_crash_child)
target_compile_definitions(test_savecrash PRIVATE SAVE_CRASH_CHILD="$<TARGET_FILE:save_crash_child>")

# Pictures of the screens for people to look at, with a check of the layout.
dialer_add_test(test_cardscreenshots
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestCardScreenShots.cpp
  LIBS dialerui)
target_include_directories(test_cardscreenshots PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(test_cardscreenshots PRIVATE SHOTS_DIR="${CMAKE_BINARY_DIR}/shots")
