# The call screen through a whole call at Debian's ModemManager daemon.
add_executable(bench_callscreen ${CMAKE_CURRENT_LIST_DIR}/BenchCallScreen.cpp)
target_link_libraries(bench_callscreen PRIVATE dialerui Qt6::Test)
target_include_directories(bench_callscreen PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
target_compile_definitions(bench_callscreen PRIVATE DIALER_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
