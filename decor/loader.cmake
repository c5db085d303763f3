# The in-memory DLL loader: the platform-free image reader/mapper (both trees) and the
# Windows loader on top of it.
add_library(lzf_pe STATIC ${CMAKE_CURRENT_LIST_DIR}/pe_image.cpp)
target_include_directories(lzf_pe PUBLIC ${CMAKE_SOURCE_DIR})

if(LZF_WINDOWS)
  add_library(lzf_loader STATIC ${CMAKE_CURRENT_LIST_DIR}/in_memory_library.cpp)
  target_link_libraries(lzf_loader PUBLIC lzf_pe lzf_core)
endif()
