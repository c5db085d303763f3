# The portable part of the catalogue client: page scraping, the preview form, the search rule,
# file names and the download permission.
add_library(lzf_catalogue_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/scrape.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_name.cpp
  ${CMAKE_CURRENT_LIST_DIR}/permission.cpp
)
target_link_libraries(lzf_catalogue_core PUBLIC lzf_httptext lzf_script)
