# The home screen and the rules every screen shares. Exit and deep stacks run
# in a child, which is this same program started again.
dialer_add_test(test_app SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestApp.cpp LIBS dialerui)
