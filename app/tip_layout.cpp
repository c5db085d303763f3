// Layout of the tip window: one picture, wider than the window, clipped on both sides.
#include "app/program_windows.h"
#include "embedded/lzf_pictures.h"

namespace {

constexpr ui::ControlLayout kTipControls[] = {
    {.kind = ui::ControlKind::PictureBox,
     .name = "图片框1",
     .left = -37,
     .top = 0,
     .width = 400,
     .height = 448,
     .pictureMode = ui::PictureMode::Centred,
     .picture = lzf_picture_tip_blob},
};

}  // namespace

const ui::WindowLayout kTipWindowLayout = {
    .title = "  微信打赏  -  你的支持是我努力的动力",
    .left = 50,
    .top = 50,
    .width = 330,
    .height = 473,
    .centred = true,
    .border = ui::WindowBorder::FixedFrame,
    .backColour = ui::kSystemColour,
    .systemMenu = true,
    .minimiseBox = false,
    .escCloses = false,
    .taskbarButton = false,
    .topMost = true,
    .captionAlwaysActive = true,
    .dragByClientArea = true,
    .className = nullptr,
    .isMainWindow = false,
    .controls = kTipControls,
};
