add_executable(bench_contacts ${CMAKE_CURRENT_LIST_DIR}/BenchContacts.cpp)
# The EDS rows run on the contact tests' private Evolution Data Server.
target_include_directories(bench_contacts PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
target_compile_definitions(bench_contacts PRIVATE DIALER_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(bench_contacts PRIVATE contacts eds_seed Qt6::Widgets Qt6::Test)
