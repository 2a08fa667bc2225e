# The home country: DIALER_HOME_COUNTRY, the modem's network through
# ModemManager (system D-Bus), or the locale.
add_library(homecountry STATIC
  ${CMAKE_CURRENT_LIST_DIR}/HomeCountry.h
  ${CMAKE_CURRENT_LIST_DIR}/HomeCountry.cpp)
target_include_directories(homecountry PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(homecountry PUBLIC phonenumbers Qt6::Core Qt6::DBus)
