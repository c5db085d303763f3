# Regular expressions (PCRE2) and JSON documents (Duktape) for GBK texts. Portable.
add_library(lzf_script STATIC
  ${CMAKE_CURRENT_LIST_DIR}/wide_subject.cpp
  ${CMAKE_CURRENT_LIST_DIR}/js_pattern.cpp
  ${CMAKE_CURRENT_LIST_DIR}/regex_object.cpp
  ${CMAKE_CURRENT_LIST_DIR}/monotonic_clock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script_engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/duk_timeout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/json_object.cpp
)
target_link_libraries(lzf_script PUBLIC lzf_core PRIVATE lzf_pcre2 lzf_duktape)
# <chrono> holds a literal GBK cannot encode.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/monotonic_clock.cpp PROPERTIES
  COMPILE_OPTIONS "-fexec-charset=UTF-8")
