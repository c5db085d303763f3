# GDI+ runtime and wrappers, PNG-composed layered windows, the skin update check.
if(LZF_WINDOWS)
  add_library(lzf_decor_runtime STATIC
    ${CMAKE_CURRENT_LIST_DIR}/gdiplus_runtime.cpp
    ${CMAKE_CURRENT_LIST_DIR}/png_control.cpp
  )
  target_link_libraries(lzf_decor_runtime PUBLIC lzf_core gdiplus ole32 shlwapi comctl32 user32 gdi32)
endif()

# GoogleTest's own sources include <chrono>, whose "µs" has no GBK form: build that library
# with UTF-8 literals (our tests keep GBK literals).
get_property(lzf_gtest_charset_fixed GLOBAL PROPERTY LZF_GTEST_CHARSET_FIXED)
if(TARGET gtest AND NOT lzf_gtest_charset_fixed)
  target_compile_options(gtest PRIVATE -fexec-charset=UTF-8)
  set_property(GLOBAL PROPERTY LZF_GTEST_CHARSET_FIXED ON)
endif()
