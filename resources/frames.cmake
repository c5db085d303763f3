# The start-up animation's 35 frames (drawn once by frames/generate_frames.cpp; the PNGs are
# committed) and their accessor.
add_library(lzf_frames STATIC ${CMAKE_CURRENT_LIST_DIR}/frames/frames.cpp)
target_link_libraries(lzf_frames PUBLIC lzf_core)
set(lzf_frame_args "")
foreach(k RANGE 1 35)
  string(LENGTH "${k}" digits)
  if(digits EQUAL 1)
    set(k "0${k}")
  endif()
  list(APPEND lzf_frame_args lzf_frame_${k} "${CMAKE_CURRENT_LIST_DIR}/frames/frame${k}.png")
endforeach()
lzf_embed(lzf_frames ${lzf_frame_args})
