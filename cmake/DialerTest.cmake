# dialer_add_test(NAME SOURCES ... LIBS ... [TIMEOUT s] [ARGS ...])
# One Qt Test executable registered with ctest, run with ARGS (by default,
# every test function). Every test runs on the offscreen platform with a
# private runtime folder, so no display is needed, ends when ctest does, and
# has no session bus but one it starts itself: a contact pick would read the
# address books of whoever runs the tests.
function(dialer_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/common/EndsWithRunner.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
  target_compile_definitions(${name} PRIVATE
    DIALER_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    DIALER_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/runtime;QT_FATAL_WARNINGS=0;DBUS_SESSION_BUS_ADDRESS=")
endfunction()
