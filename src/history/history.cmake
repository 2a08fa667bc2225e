# The call history: SQLite through Qt SQL's QSQLITE driver (Debian:
# libqt6sql6-sqlite, a plugin). No widgets. The part that speaks SQL is a
# module of our own, loaded when the history is first used: linked in, Qt
# SQL would lengthen every symbol look-up of the start by the dynamic
# loader, about 2 % of the start's instructions.
add_library(dialer_history MODULE ${CMAKE_CURRENT_LIST_DIR}/SqliteHistory.cpp)
target_include_directories(dialer_history PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(dialer_history PRIVATE Qt6::Core Qt6::Sql)
dialer_module(dialer_history dialer-history history_module)

add_library(callhistory STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CallHistory.h
  ${CMAKE_CURRENT_LIST_DIR}/CallHistory.cpp)
target_include_directories(callhistory PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(callhistory PRIVATE DIALER_HISTORY_MODULE="${history_module}")
target_link_libraries(callhistory PUBLIC Qt6::Core PRIVATE cardbook)
add_dependencies(callhistory dialer_history)
