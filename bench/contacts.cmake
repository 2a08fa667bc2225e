add_executable(bench_contacts ${CMAKE_CURRENT_LIST_DIR}/BenchContacts.cpp)
target_link_libraries(bench_contacts PRIVATE contacts Qt6::Widgets)
