# The vCard reader: plain C++, no Qt, so the fuzz build compiles the same
# sources with clang and sanitizers. Included from both builds.
if(NOT TARGET contacts_core)
  set(DIALER_CONTACTS_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/VCardCharsets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VCardLines.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VCardProperties.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VCardReader.cpp)
  add_library(contacts_core STATIC ${DIALER_CONTACTS_CORE_SOURCES})
  target_include_directories(contacts_core PUBLIC ${CMAKE_CURRENT_LIST_DIR} PRIVATE ${PROJECT_SOURCE_DIR}/src/common)
  target_compile_features(contacts_core PUBLIC cxx_std_20)
endif()
