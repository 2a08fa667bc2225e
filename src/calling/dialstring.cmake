# Dial-string composition and the bounded copies it rests on: plain C++,
# no Qt, so it can be tested, benchmarked and fuzzed on its own.
add_library(dialstring STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SafeString.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialString.cpp
)
target_include_directories(dialstring PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_features(dialstring PUBLIC cxx_std_20)
set_target_properties(dialstring PROPERTIES AUTOMOC OFF)
