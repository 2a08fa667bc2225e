add_executable(bench_cardfile ${CMAKE_CURRENT_LIST_DIR}/BenchCardFile.cpp)
target_link_libraries(bench_cardfile PRIVATE cardbook)
