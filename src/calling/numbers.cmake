# What the program asks of libphonenumber (Debian: libphonenumber-dev). Its
# CMake files are broken in some Debian versions, so the library is looked
# for directly. It is called through a module of our own that the program
# loads on first use: linked in, libphonenumber, protobuf and abseil would
# cost every start about 1.5 ms of CPU before the home screen shows.
find_path(PHONENUMBER_INCLUDE_DIR phonenumbers/phonenumberutil.h)
find_library(PHONENUMBER_LIBRARY phonenumber)
if(NOT PHONENUMBER_INCLUDE_DIR OR NOT PHONENUMBER_LIBRARY)
  message(FATAL_ERROR "libphonenumber is missing (Debian: libphonenumber-dev; scripts/setup.sh installs it)")
endif()
add_library(dialer_numbers MODULE ${CMAKE_CURRENT_LIST_DIR}/NumbersModule.cpp)
target_include_directories(dialer_numbers PRIVATE ${PHONENUMBER_INCLUDE_DIR})
target_link_libraries(dialer_numbers PRIVATE ${PHONENUMBER_LIBRARY})
set_target_properties(dialer_numbers PROPERTIES OUTPUT_NAME dialer-numbers AUTOMOC OFF
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
install(TARGETS dialer_numbers LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/dialer)

# The program looks for the module where it is installed; a build with the
# tests runs it from the build tree.
if(DIALER_TESTS)
  set(numbers_module $<TARGET_FILE:dialer_numbers>)
else()
  set(numbers_module ${CMAKE_INSTALL_FULL_LIBDIR}/dialer/libdialer-numbers.so)
endif()
add_library(phonenumbers STATIC ${CMAKE_CURRENT_LIST_DIR}/PhoneNumbers.cpp)
target_include_directories(phonenumbers PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(phonenumbers PRIVATE DIALER_NUMBERS_MODULE="${numbers_module}")
target_link_libraries(phonenumbers PUBLIC Qt6::Core)
add_dependencies(phonenumbers dialer_numbers)
