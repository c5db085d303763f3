# GDI+ runtime and wrappers, PNG-composed layered windows, the skin update check.
if(LZF_WINDOWS)
  add_library(lzf_decor_runtime STATIC
    ${CMAKE_CURRENT_LIST_DIR}/gdiplus_runtime.cpp
    ${CMAKE_CURRENT_LIST_DIR}/png_control.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_check.cpp
  )
  target_link_libraries(lzf_decor_runtime PUBLIC lzf_ui lzf_http lzf_httptext lzf_core
                        gdiplus ole32 shlwapi comctl32 user32 gdi32)
endif()

