# The card file reader and writer: the bytes of a file from anywhere.
dialer_fuzz_target(cardfile FuzzCardFile.cpp
  ${PROJECT_SOURCE_DIR}/src/cardbook/CardBook.cpp ${PROJECT_SOURCE_DIR}/src/cardbook/CardCodec.cpp)
