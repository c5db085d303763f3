# The start-up code (startup.cpp, animation.cpp) draws the frames with the decoration runtime
# and decorates the main window with the skin library.
target_link_libraries(lzf_app PUBLIC lzf_frames lzf_decor_runtime lzf_decoration)
