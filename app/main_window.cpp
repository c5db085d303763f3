// The main window's events and the handlers that belong to the window itself: the links and
// the tip window. The colour selectors are in colour_selectors.cpp, the catalogue features in
// catalogue/.
#include "app/animation.h"
#include "app/program_windows.h"
#include "catalogue/catalogue.h"
#include "catalogue/main_controls.h"
#include "decor/decoration.h"
#include "ui/dialogs.h"
#include "ui/properties.h"
#include "ui/window.h"

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
    LogStartupEvent("decoration-begin", 0, MillisecondsSinceProcessStart(), 0);
    ApplyWindowDecoration(kStartupSkinType, window);
    LogStartupEvent("decoration-end", 0, MillisecondsSinceProcessStart(), 0);
}

// Closing the window cancels a running font download, which then ends silently (the process
// does not wait for the transfer, and no message appears without its window).
constexpr ui::EventBinding kMainEvents[] = {
    {.control = nullptr, .event = Event::Created, .onWindow = OnMainWindowCreated},
    {.control = nullptr, .event = Event::Destroyed, .action = CancelFontDownload},
    {.control = kInitButton, .event = Event::Click, .action = InitialiseFontList},
    {.control = kFontList, .event = Event::CurrentRowChanged, .action = StartDescriptionCheck},
    {.control = kFontList, .event = Event::DoubleClick, .action = ListDoubleClick},
    {.control = kFontList, .event = Event::KeyDown, .onKey = OnListKeyDown},
    {.control = kPreviewButton, .event = Event::Click, .action = GeneratePreview},
    {.control = kDownloadButton, .event = Event::Click, .action = StartFontDownload},
    {.control = kCancelButton, .event = Event::Click, .action = CancelFontDownload},
    {.control = kSavePictureButton, .event = Event::Click, .action = SavePreviewPicture},
    {.control = kSearchButton, .event = Event::Click, .action = FindFont},
    {.control = kTextColourList, .event = Event::ItemChosen, .action = ApplyTextColour},
    {.control = kBackgroundColourList, .event = Event::ItemChosen, .action = ApplyBackgroundColour},
    {.control = kFreeFontsLink, .event = Event::Click, .action = OpenChatGroupLink},
    {.control = kToolDownloadButton, .event = Event::Click, .action = OpenToolDownloadPage},
    {.control = kRewardButton, .event = Event::Click, .action = ShowTipWindowModal},
};

}  // namespace

std::span<const ui::EventBinding> MainWindowEvents() {
    return kMainEvents;
}

HWND CreateMainWindow() {
    return ui::CreateLayoutWindow(kMainWindowLayout, kMainEvents);
}

HWND CreateTipWindow(HWND owner) {
    return ui::CreateLayoutWindow(kTipWindowLayout, {}, owner ? owner : ui::MainWindow());
}

void ShowTipWindowModal() {
    if (HWND window = CreateTipWindow())
        ui::RunModal(window);
}
