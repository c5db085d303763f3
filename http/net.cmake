# The request engines. The text rules they share with no transport (header completion,
# response header scan, answer framing and decoding, page charsets) are portable and built in
# both trees; the engines themselves (WinHTTP, WinInet) only in the Windows tree.
add_library(lzf_httprules STATIC
  ${CMAKE_CURRENT_LIST_DIR}/request_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/charset.cpp
  ${CMAKE_CURRENT_LIST_DIR}/answer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/answer_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inet_wire.cpp
)
target_link_libraries(lzf_httprules PUBLIC lzf_httptext lzf_script lzf_core PRIVATE lzf_zlib)

if(LZF_WINDOWS)
  add_library(lzf_http STATIC
    ${CMAKE_CURRENT_LIST_DIR}/web_request.cpp
    ${CMAKE_CURRENT_LIST_DIR}/winhttp_session.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fetch_url.cpp
    ${CMAKE_CURRENT_LIST_DIR}/inet_request.cpp
    ${CMAKE_CURRENT_LIST_DIR}/inet_wininet.cpp
    ${CMAKE_CURRENT_LIST_DIR}/inet_direct.cpp
    ${CMAKE_CURRENT_LIST_DIR}/transfer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/plain_connection.cpp
  )
  target_link_libraries(lzf_http PUBLIC lzf_httprules lzf_httptext lzf_script lzf_core
                        PRIVATE winhttp wininet ws2_32 shlwapi)
endif()
