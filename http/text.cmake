# Header, cookie, URL and encoding texts shared by every transport. Portable.
add_library(lzf_httptext STATIC
  ${CMAKE_CURRENT_LIST_DIR}/headers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/encoding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/url.cpp
)
target_link_libraries(lzf_httptext PUBLIC lzf_core)
