// Driving the real main window in the test process: it is created from its layout with its
// real event table, against the private catalogue service of this test run. Message boxes and
// save dialogs are answered by observers, so nothing waits for a person.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "core/types.h"
#include "tests/support/service_client.h"
#include "ui/dialogs.h"

// Processes window messages until `done` is true or `timeoutMs` has passed; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs);

// One font as the service lists it at /__fonts.
struct ServiceFont {
    std::string id;
    std::string nameUtf8;
    std::string path;
};
std::vector<ServiceFont> ServiceFonts();

// Reads a whole file; empty when it does not exist. A std::string path is GBK.
std::string ReadWholeFile(const std::string& path);
std::string ReadWholeFile(const std::wstring& path);
bool FileExists(const std::string& path);

// A folder of its own for the files a test saves; removed with everything in it.
class ScratchFolder {
  public:
    // `suffix` ends the folder's name (e.g. characters that GBK lacks).
    explicit ScratchFolder(const std::wstring& suffix = L"");
    ~ScratchFolder();
    // Full path of a file in the folder: GBK, and UTF-16 for any folder.
    Text Path(const Text& name) const;
    std::wstring WidePath(const std::wstring& name) const;
    // Names of the files now in the folder (GBK).
    std::vector<Text> Files() const;

  private:
    std::wstring folder_;
};

// The main window with observers installed; destroyed with the object.
class MainWindowDriver {
  public:
    MainWindowDriver();
    ~MainWindowDriver();

    HWND window() const { return window_; }
    HWND Control(const char* name) const;

    // Clicks a button as the user would (BM_CLICK); returns when its handler has returned.
    void Click(const char* name);
    // A key pressed in the font list (WM_KEYDOWN to the list, then WM_KEYUP).
    void PressKey(const char* name, int virtualKey);
    // Initialises the font list and checks that it ended loaded.
    void LoadCatalogue();

    // Messages shown so far.
    std::vector<ui::MessageRequest> messages;
    // Save dialogs requested so far, and the answer the next ones get (empty: cancel). A
    // non-empty wideSaveAnswer is given instead of saveAnswer (for paths GBK cannot hold).
    std::vector<ui::SaveDialogRequest> saveDialogs;
    Text saveAnswer;
    std::wstring wideSaveAnswer;
    // Every caption 初始化字体 was given, in order.
    std::vector<Text> initCaptions;

  private:
    HWND window_ = nullptr;
};

// Counts the requests in the service's log whose request line starts with `prefix`.
int CountRequests(const std::vector<LoggedRequest>& log, const std::string& prefix);
// The header value of `name` (exact name) in a logged request, empty when absent.
std::string LoggedHeader(const LoggedRequest& request, const std::string& name);

// Counts pixels of the window's client area whose colour is darker than `threshold` in every
// channel (a rendered black text shows up as dark pixels).
int CountDarkPixels(HWND window, int threshold = 80);
