# The call history at its SQLite file; two writers are this program again.
dialer_add_test(test_callhistory SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestCallHistory.cpp LIBS callhistory)
