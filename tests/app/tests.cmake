dialer_add_test(test_screenrules
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestScreenRules.cpp
  LIBS dialerui)
dialer_add_test(test_homescreen
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestHomeScreen.cpp
  LIBS dialerui)
target_include_directories(test_homescreen PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)

# A child process that runs the real start-up and leaves through Exit.
add_executable(home_exit_child ${CMAKE_CURRENT_LIST_DIR}/HomeExitChild.cpp)
target_link_libraries(home_exit_child PRIVATE dialerui)
target_include_directories(home_exit_child PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
add_dependencies(test_homescreen home_exit_child)
target_compile_definitions(test_homescreen PRIVATE HOME_EXIT_CHILD="$<TARGET_FILE:home_exit_child>")

# A child that stacks screens until it is refused, under a small stack.
add_executable(stack_guard_child ${CMAKE_CURRENT_LIST_DIR}/StackGuardChild.cpp)
target_link_libraries(stack_guard_child PRIVATE dialerui)
target_include_directories(stack_guard_child PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
add_dependencies(test_homescreen stack_guard_child)
target_compile_definitions(test_homescreen PRIVATE STACK_GUARD_CHILD="$<TARGET_FILE:stack_guard_child>")
