# The contact store over the user's vCard folders and our contact chooser.
include(${CMAKE_CURRENT_LIST_DIR}/contacts_core.cmake)
if(NOT TARGET contacts)
  add_library(contacts STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ContactFolders.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ContactList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ContactStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ContactChooser.cpp
  )
  target_include_directories(contacts PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(contacts PUBLIC contacts_core Qt6::Core Qt6::Widgets)
endif()
