# Start-up: the real home screen against a bare Qt dialog built the same way.
add_executable(bench_startup_home ${CMAKE_CURRENT_LIST_DIR}/StartupHome.cpp)
target_link_libraries(bench_startup_home PRIVATE dialerui)
add_executable(bench_startup_bare ${CMAKE_CURRENT_LIST_DIR}/StartupBare.cpp)
target_link_libraries(bench_startup_bare PRIVATE Qt6::Widgets)
add_executable(bench_startup ${CMAKE_CURRENT_LIST_DIR}/BenchStartup.cpp)
target_link_libraries(bench_startup PRIVATE Qt6::Core)
target_compile_definitions(bench_startup PRIVATE
  HOME_BIN="$<TARGET_FILE:bench_startup_home>" BARE_BIN="$<TARGET_FILE:bench_startup_bare>")
add_dependencies(bench_startup bench_startup_home bench_startup_bare)

# Stacking: home screens stacked through ShowHomeScreen, then Exit.
add_executable(bench_stacking ${CMAKE_CURRENT_LIST_DIR}/BenchStacking.cpp)
target_link_libraries(bench_stacking PRIVATE dialerui)

# Recent Calls over 1,000 calls: the history's read against a bare SELECT,
# and the list's first rows painted.
add_executable(bench_recent_calls ${CMAKE_CURRENT_LIST_DIR}/BenchRecentCalls.cpp)
target_link_libraries(bench_recent_calls PRIVATE dialerui Qt6::Sql)
