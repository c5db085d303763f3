// The main window's events and the handlers that belong to the window itself: the links and
// the tip window. The colour selectors are in colour_selectors.cpp, the catalogue features in
// catalogue/.
#include "app/program_windows.h"
#include "app/ui/dialogs.h"
#include "app/ui/properties.h"
#include "app/ui/window.h"
#include "catalogue/catalogue.h"
#include "decor/decoration.h"

namespace {

using ui::Event;

constexpr char kChatGroupLink[] =
    "https://qun.example.com/?_wv=1027&k=5Lzf3kQmVvK8aXc2nRtYpWqZ4hJdGs6b";
constexpr char kToolDownloadPage[] = "https://www.example.net/index.php/Index/ftXplorer/";

void OpenChatGroupLink() {
    ui::OpenAddress(kChatGroupLink);
}

void OpenToolDownloadPage() {
    ui::OpenAddress(kToolDownloadPage);
}

// The arrow keys belong to ListKeyDown alone: it moves one row per press, and where it does
// nothing (ends of the list, the placeholder row, no catalogue) the list must not move either.
bool OnListKeyDown(int key) {
    ListKeyDown(key);
    return key == VK_UP || key == VK_DOWN;
}

// The main window gets its shadow and skin as soon as it exists.
void OnMainWindowCreated(HWND window) {
    ApplyWindowDecoration(kStartupSkinType, window);
}

constexpr ui::EventBinding kMainEvents[] = {
    {.control = nullptr, .event = Event::Created, .onWindow = OnMainWindowCreated},
    {.control = "初始化字体", .event = Event::Click, .action = InitialiseFontList},
    {.control = "超级列表框1", .event = Event::CurrentRowChanged, .action = StartDescriptionCheck},
    {.control = "超级列表框1", .event = Event::DoubleClick, .action = ListDoubleClick},
    {.control = "超级列表框1", .event = Event::KeyDown, .onKey = OnListKeyDown},
    {.control = "超级按钮2", .event = Event::Click, .action = GeneratePreview},
    {.control = "超级按钮3", .event = Event::Click, .action = StartFontDownload},
    {.control = "超级按钮6", .event = Event::Click, .action = CancelFontDownload},
    {.control = "超级按钮4", .event = Event::Click, .action = SavePreviewPicture},
    {.control = "超级按钮1", .event = Event::Click, .action = FindFont},
    {.control = "组合框1", .event = Event::ItemChosen, .action = ApplyTextColour},
    {.control = "组合框2", .event = Event::ItemChosen, .action = ApplyBackgroundColour},
    {.control = "超级按钮5", .event = Event::Click, .action = OpenChatGroupLink},
    {.control = "按钮1", .event = Event::Click, .action = OpenToolDownloadPage},
    {.control = "按钮2", .event = Event::Click, .action = ShowTipWindowModal},
};

}  // namespace

std::span<const ui::EventBinding> MainWindowEvents() {
    return kMainEvents;
}

HWND CreateMainWindow() {
    return ui::CreateLayoutWindow(kMainWindowLayout, kMainEvents);
}

HWND ShowMainWindow() {
    HWND window = CreateMainWindow();
    if (window)
        ui::ShowLayoutWindow(window);
    return window;
}

HWND CreateTipWindow(HWND owner) {
    return ui::CreateLayoutWindow(kTipWindowLayout, {}, owner ? owner : ui::MainWindow());
}

void ShowTipWindowModal() {
    if (HWND window = CreateTipWindow())
        ui::RunModal(window);
}
