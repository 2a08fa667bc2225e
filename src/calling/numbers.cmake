# dialer_module(TARGET NAME VAR): makes TARGET, a MODULE library, the
# program's lib<NAME>.so, installed in its own folder under the library
# folder, and sets VAR to where the program loads it from: the build tree in
# a build with the tests, the installed file otherwise.
function(dialer_module target name var)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} AUTOMOC OFF
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/dialer)
  if(DIALER_TESTS)
    set(${var} $<TARGET_FILE:${target}> PARENT_SCOPE)
  else()
    set(${var} ${CMAKE_INSTALL_FULL_LIBDIR}/dialer/lib${name}.so PARENT_SCOPE)
  endif()
endfunction()

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
dialer_module(dialer_numbers dialer-numbers numbers_module)

add_library(phonenumbers STATIC ${CMAKE_CURRENT_LIST_DIR}/PhoneNumbers.cpp)
target_include_directories(phonenumbers PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(phonenumbers PRIVATE DIALER_NUMBERS_MODULE="${numbers_module}")
target_link_libraries(phonenumbers PUBLIC Qt6::Core)
add_dependencies(phonenumbers dialer_numbers)
