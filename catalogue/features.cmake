# The catalogue features bound to the main window's controls (catalogue.h). Windows only: they
# work on the main window through the window framework.
if(LZF_WINDOWS)
  add_library(lzf_catalogue_features STATIC
    ${CMAKE_CURRENT_LIST_DIR}/description.cpp
    ${CMAKE_CURRENT_LIST_DIR}/download.cpp
    ${CMAKE_CURRENT_LIST_DIR}/feature_messages.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_writer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/font_list.cpp
    ${CMAKE_CURRENT_LIST_DIR}/navigation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/preview.cpp
    ${CMAKE_CURRENT_LIST_DIR}/service_headers.cpp
  )
  target_link_libraries(lzf_catalogue_features PUBLIC lzf_core lzf_catalogue_core lzf_http lzf_ui)
endif()
