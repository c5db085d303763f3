# GBK-aware text helpers.
target_sources(lzf_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/text.cpp)
