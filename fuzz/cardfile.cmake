# The card file reader, compiled here with the sanitizers so that they see
# the parser itself and not only the calls into a plain library.
set(CARDBOOK_DIR ${PROJECT_SOURCE_DIR}/src/cardbook)
add_executable(fuzz_cardfile
  ${CMAKE_CURRENT_LIST_DIR}/FuzzCardFile.cpp
  ${CARDBOOK_DIR}/CardBook.cpp
  ${CARDBOOK_DIR}/CardCodec.cpp
)
target_include_directories(fuzz_cardfile PRIVATE ${CARDBOOK_DIR} ${PROJECT_SOURCE_DIR}/src/common)
target_compile_options(fuzz_cardfile PRIVATE ${DIALER_FUZZ_FLAGS})
target_link_options(fuzz_cardfile PRIVATE ${DIALER_FUZZ_FLAGS})
