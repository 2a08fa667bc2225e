# The call history: SQLite through Qt SQL's QSQLITE driver (Debian:
# libqt6sql6-sqlite, a plugin loaded when the history is first opened). No
# widgets.
add_library(callhistory STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CallHistory.h
  ${CMAKE_CURRENT_LIST_DIR}/CallHistory.cpp)
target_include_directories(callhistory PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(callhistory PUBLIC Qt6::Core PRIVATE Qt6::Sql cardbook)
