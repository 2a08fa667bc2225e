# The contact store over the user's vCard folders and Evolution Data Server's
# address books, and our contact chooser.
include(${CMAKE_CURRENT_LIST_DIR}/contacts_core.cmake)
if(NOT TARGET contacts)
  # libebook and GLib in one file of their own, which includes no Qt header:
  # GLib's `signals` is Qt's keyword.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(EDS REQUIRED IMPORTED_TARGET GLOBAL libebook-1.2 libedataserver-1.2)
  add_library(contacts_eds STATIC ${CMAKE_CURRENT_LIST_DIR}/EdsContacts.cpp)
  target_include_directories(contacts_eds PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(contacts_eds PRIVATE PkgConfig::EDS)
  target_compile_features(contacts_eds PUBLIC cxx_std_20)
  set_target_properties(contacts_eds PROPERTIES AUTOMOC OFF)

  add_library(contacts STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ContactFolders.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ContactList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ContactStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ContactChooser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ListDialog.cpp
  )
  target_include_directories(contacts PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(contacts PUBLIC contacts_core Qt6::Core Qt6::Widgets PRIVATE contacts_eds)
endif()
