# The catalogue features bound to the main window's controls (catalogue.h).
add_library(lzf_catalogue_features STATIC ${CMAKE_CURRENT_LIST_DIR}/features_stub.cpp)
target_link_libraries(lzf_catalogue_features PUBLIC lzf_core)
