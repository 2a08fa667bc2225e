# The vCard reader reads whatever files the user's sync tools leave behind.
# Its sources are compiled into the target so that they carry the sanitizers.
add_executable(fuzz_vcard
  ${CMAKE_CURRENT_LIST_DIR}/FuzzVCard.cpp
  ${DIALER_CONTACTS_CORE_SOURCES})
target_include_directories(fuzz_vcard PRIVATE ${PROJECT_SOURCE_DIR}/src/platform ${PROJECT_SOURCE_DIR}/src/common)
target_compile_options(fuzz_vcard PRIVATE ${DIALER_FUZZ_FLAGS})
target_link_options(fuzz_vcard PRIVATE ${DIALER_FUZZ_FLAGS})
