# The contact store's parallel parse of large files in stretches, checked
# card for card against a whole-file parse. Same sources as fuzz_vcard.
add_executable(fuzz_vcard_stretches
  ${CMAKE_CURRENT_LIST_DIR}/FuzzVCardStretches.cpp
  ${DIALER_CONTACTS_CORE_SOURCES})
target_include_directories(fuzz_vcard_stretches PRIVATE ${PROJECT_SOURCE_DIR}/src/platform ${PROJECT_SOURCE_DIR}/src/common)
target_compile_options(fuzz_vcard_stretches PRIVATE ${DIALER_FUZZ_FLAGS})
target_link_options(fuzz_vcard_stretches PRIVATE ${DIALER_FUZZ_FLAGS})
