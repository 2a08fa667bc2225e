# The EDS rows run on the contact tests' private Evolution Data Server, seeded
# and timed alone by their libebook helpers, which stay out of Qt's way.
add_executable(bench_contacts ${CMAKE_CURRENT_LIST_DIR}/BenchContacts.cpp)
target_include_directories(bench_contacts PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
target_compile_definitions(bench_contacts PRIVATE DIALER_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(bench_contacts PRIVATE contacts eds_seed PkgConfig::EDS Qt6::Widgets Qt6::Test)
