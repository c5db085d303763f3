# Skin library, skin attach and window shadow (Windows only).
if(LZF_WINDOWS)
  add_subdirectory(skin)

  add_library(lzf_decoration STATIC
    ${CMAKE_CURRENT_LIST_DIR}/shadow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/decoration.cpp)
  target_include_directories(lzf_decoration PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(lzf_decoration PUBLIC lzf_core lzf_loader lzf_decor_runtime gdiplus user32 gdi32)
  add_dependencies(lzf_decoration lzf_skin_library)
  lzf_embed(lzf_decoration
    lzf_skin_library_image "${LZF_SKIN_LIBRARY_IMAGE}"
    lzf_skin_data_1 "${CMAKE_SOURCE_DIR}/resources/skins/skin1.she"
    lzf_skin_data_2 "${CMAKE_SOURCE_DIR}/resources/skins/skin2.she"
    lzf_skin_data_3 "${CMAKE_SOURCE_DIR}/resources/skins/skin3.she")
endif()
