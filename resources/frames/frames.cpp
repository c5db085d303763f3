#include "resources/frames/frames.h"

#include "embedded/lzf_frames.h"

EmbeddedBlob AnimationFrame(int frame) {
    using Blob = EmbeddedBlob (*)();
    static constexpr Blob kFrames[kAnimationFrameCount] = {
        lzf_frame_01_blob, lzf_frame_02_blob, lzf_frame_03_blob, lzf_frame_04_blob,
        lzf_frame_05_blob, lzf_frame_06_blob, lzf_frame_07_blob, lzf_frame_08_blob,
        lzf_frame_09_blob, lzf_frame_10_blob, lzf_frame_11_blob, lzf_frame_12_blob,
        lzf_frame_13_blob, lzf_frame_14_blob, lzf_frame_15_blob, lzf_frame_16_blob,
        lzf_frame_17_blob, lzf_frame_18_blob, lzf_frame_19_blob, lzf_frame_20_blob,
        lzf_frame_21_blob, lzf_frame_22_blob, lzf_frame_23_blob, lzf_frame_24_blob,
        lzf_frame_25_blob, lzf_frame_26_blob, lzf_frame_27_blob, lzf_frame_28_blob,
        lzf_frame_29_blob, lzf_frame_30_blob, lzf_frame_31_blob, lzf_frame_32_blob,
        lzf_frame_33_blob, lzf_frame_34_blob, lzf_frame_35_blob,
    };
    if (frame < 1 || frame > kAnimationFrameCount)
        return {nullptr, 0};
    return kFrames[frame - 1]();
}

EmbeddedBlob AnimationFramesBlock() {
    return {lzf_frame_01, static_cast<std::size_t>(lzf_frame_35_end - lzf_frame_01)};
}
