// Layout and events of the start-up animation window: a borderless window with 36 timers.
// 时钟1 ... 时钟35 show the frames one after another (each arms the next); 时钟36 trims the
// working set every second while the window exists.
#include "app/animation_events.h"
#include "app/program_windows.h"
#include "ui/threads.h"
#include "ui/window.h"

namespace {

using ui::Event;

constexpr ui::ControlLayout kAnimationControls[] = {
    {.kind = ui::ControlKind::Timer, .name = "时钟1"},
    {.kind = ui::ControlKind::Timer, .name = "时钟2"},
    {.kind = ui::ControlKind::Timer, .name = "时钟3"},
    {.kind = ui::ControlKind::Timer, .name = "时钟4"},
    {.kind = ui::ControlKind::Timer, .name = "时钟5"},
    {.kind = ui::ControlKind::Timer, .name = "时钟6"},
    {.kind = ui::ControlKind::Timer, .name = "时钟7"},
    {.kind = ui::ControlKind::Timer, .name = "时钟8"},
    {.kind = ui::ControlKind::Timer, .name = "时钟9"},
    {.kind = ui::ControlKind::Timer, .name = "时钟10"},
    {.kind = ui::ControlKind::Timer, .name = "时钟11"},
    {.kind = ui::ControlKind::Timer, .name = "时钟12"},
    {.kind = ui::ControlKind::Timer, .name = "时钟13"},
    {.kind = ui::ControlKind::Timer, .name = "时钟14"},
    {.kind = ui::ControlKind::Timer, .name = "时钟15"},
    {.kind = ui::ControlKind::Timer, .name = "时钟16"},
    {.kind = ui::ControlKind::Timer, .name = "时钟17"},
    {.kind = ui::ControlKind::Timer, .name = "时钟18"},
    {.kind = ui::ControlKind::Timer, .name = "时钟19"},
    {.kind = ui::ControlKind::Timer, .name = "时钟20"},
    {.kind = ui::ControlKind::Timer, .name = "时钟21"},
    {.kind = ui::ControlKind::Timer, .name = "时钟22"},
    {.kind = ui::ControlKind::Timer, .name = "时钟23"},
    {.kind = ui::ControlKind::Timer, .name = "时钟24"},
    {.kind = ui::ControlKind::Timer, .name = "时钟25"},
    {.kind = ui::ControlKind::Timer, .name = "时钟26"},
    {.kind = ui::ControlKind::Timer, .name = "时钟27"},
    {.kind = ui::ControlKind::Timer, .name = "时钟28"},
    {.kind = ui::ControlKind::Timer, .name = "时钟29"},
    {.kind = ui::ControlKind::Timer, .name = "时钟30"},
    {.kind = ui::ControlKind::Timer, .name = "时钟31"},
    {.kind = ui::ControlKind::Timer, .name = "时钟32"},
    {.kind = ui::ControlKind::Timer, .name = "时钟33"},
    {.kind = ui::ControlKind::Timer, .name = "时钟34"},
    {.kind = ui::ControlKind::Timer, .name = "时钟35"},
    {.kind = ui::ControlKind::Timer, .name = "时钟36", .interval = 1000},
};

constexpr ui::EventBinding kAnimationEvents[] = {
    {.control = nullptr, .event = Event::Created, .onWindow = StartAnimation},
    {.control = "时钟1", .event = Event::Tick, .indexed = ShowFrame, .argument = 1},
    {.control = "时钟2", .event = Event::Tick, .indexed = ShowFrame, .argument = 2},
    {.control = "时钟3", .event = Event::Tick, .indexed = ShowFrame, .argument = 3},
    {.control = "时钟4", .event = Event::Tick, .indexed = ShowFrame, .argument = 4},
    {.control = "时钟5", .event = Event::Tick, .indexed = ShowFrame, .argument = 5},
    {.control = "时钟6", .event = Event::Tick, .indexed = ShowFrame, .argument = 6},
    {.control = "时钟7", .event = Event::Tick, .indexed = ShowFrame, .argument = 7},
    {.control = "时钟8", .event = Event::Tick, .indexed = ShowFrame, .argument = 8},
    {.control = "时钟9", .event = Event::Tick, .indexed = ShowFrame, .argument = 9},
    {.control = "时钟10", .event = Event::Tick, .indexed = ShowFrame, .argument = 10},
    {.control = "时钟11", .event = Event::Tick, .indexed = ShowFrame, .argument = 11},
    {.control = "时钟12", .event = Event::Tick, .indexed = ShowFrame, .argument = 12},
    {.control = "时钟13", .event = Event::Tick, .indexed = ShowFrame, .argument = 13},
    {.control = "时钟14", .event = Event::Tick, .indexed = ShowFrame, .argument = 14},
    {.control = "时钟15", .event = Event::Tick, .indexed = ShowFrame, .argument = 15},
    {.control = "时钟16", .event = Event::Tick, .indexed = ShowFrame, .argument = 16},
    {.control = "时钟17", .event = Event::Tick, .indexed = ShowFrame, .argument = 17},
    {.control = "时钟18", .event = Event::Tick, .indexed = ShowFrame, .argument = 18},
    {.control = "时钟19", .event = Event::Tick, .indexed = ShowFrame, .argument = 19},
    {.control = "时钟20", .event = Event::Tick, .indexed = ShowFrame, .argument = 20},
    {.control = "时钟21", .event = Event::Tick, .indexed = ShowFrame, .argument = 21},
    {.control = "时钟22", .event = Event::Tick, .indexed = ShowFrame, .argument = 22},
    {.control = "时钟23", .event = Event::Tick, .indexed = ShowFrame, .argument = 23},
    {.control = "时钟24", .event = Event::Tick, .indexed = ShowFrame, .argument = 24},
    {.control = "时钟25", .event = Event::Tick, .indexed = ShowFrame, .argument = 25},
    {.control = "时钟26", .event = Event::Tick, .indexed = ShowFrame, .argument = 26},
    {.control = "时钟27", .event = Event::Tick, .indexed = ShowFrame, .argument = 27},
    {.control = "时钟28", .event = Event::Tick, .indexed = ShowFrame, .argument = 28},
    {.control = "时钟29", .event = Event::Tick, .indexed = ShowFrame, .argument = 29},
    {.control = "时钟30", .event = Event::Tick, .indexed = ShowFrame, .argument = 30},
    {.control = "时钟31", .event = Event::Tick, .indexed = ShowFrame, .argument = 31},
    {.control = "时钟32", .event = Event::Tick, .indexed = ShowFrame, .argument = 32},
    {.control = "时钟33", .event = Event::Tick, .indexed = ShowFrame, .argument = 33},
    {.control = "时钟34", .event = Event::Tick, .indexed = ShowFrame, .argument = 34},
    {.control = "时钟35", .event = Event::Tick, .onWindow = FinishAnimation},
    {.control = "时钟36", .event = Event::Tick, .action = ui::TrimWorkingSet},
};

}  // namespace

const ui::WindowLayout kAnimationWindowLayout = {
    .title = "览字坊",
    .left = 50,
    .top = 50,
    .width = 495,
    .height = 331,
    .centred = true,
    .border = ui::WindowBorder::None,
    .backColour = ui::kSystemColour,
    .systemMenu = false,
    .minimiseBox = false,
    .escCloses = true,
    .taskbarButton = true,
    .topMost = false,
    .captionAlwaysActive = false,
    .dragByClientArea = true,
    .className = nullptr,
    .isMainWindow = false,
    .controls = kAnimationControls,
};

std::span<const ui::EventBinding> AnimationWindowEvents() {
    return kAnimationEvents;
}

HWND CreateAnimationWindow() {
    return ui::CreateLayoutWindow(kAnimationWindowLayout, kAnimationEvents);
}

void RunAnimationWindowModal() {
    if (HWND window = CreateAnimationWindow())
        ui::RunModal(window);
}
