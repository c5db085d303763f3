# The pictures of the font-download button and of the tip window (drawn by
# pictures/generate.sh; the generated PNGs are committed).
add_library(lzf_pictures STATIC)
set_target_properties(lzf_pictures PROPERTIES LINKER_LANGUAGE CXX)
lzf_embed(lzf_pictures
  lzf_picture_download_resting "${CMAKE_CURRENT_LIST_DIR}/pictures/download-resting.png"
  lzf_picture_download_over "${CMAKE_CURRENT_LIST_DIR}/pictures/download-over.png"
  lzf_picture_download_disabled "${CMAKE_CURRENT_LIST_DIR}/pictures/download-disabled.png"
  lzf_picture_tip "${CMAKE_CURRENT_LIST_DIR}/pictures/tip.png")
