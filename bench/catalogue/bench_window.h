// What the catalogue benchmarks share: the real main window in this process (message boxes,
// save dialogs and browser links answered by observers, so nothing waits for a person), a
// clock, medians, and a probe of how quickly the window thread answers posted messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <vector>

#include "core/types.h"

namespace bench {

// Seconds on the performance counter.
double Now();

// The median of `values` (0 for none).
double Median(std::vector<double> values);

// Processes window messages for `milliseconds`.
void PumpFor(unsigned milliseconds);

// The main window, created from its layout with its real event table, decorated (GDI+, the
// carried skin library and the shadow, as at the program's start) and shown.
class MainWindow {
  public:
    MainWindow();
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND window() const { return window_; }
    HWND Control(const char* name) const;
    // Message boxes the features asked for so far (answered with OK).
    int messages() const { return messages_; }

  private:
    HWND window_ = nullptr;
    int messages_ = 0;
};

// A helper thread posts a message to `window` every `periodMs` carrying its send time; the
// window thread notes how long each waited until it was dispatched. Only messages posted
// between Begin() and End() count; End() also dispatches what is still queued.
class InputProbe {
  public:
    InputProbe(HWND window, unsigned periodMs);
    ~InputProbe();
    InputProbe(const InputProbe&) = delete;
    InputProbe& operator=(const InputProbe&) = delete;

    void Begin();
    void End();
    // Over the last Begin()..End(): the longest wait in seconds, and how many messages came.
    double WorstDelay() const { return worst_; }
    int Count() const { return count_; }

  private:
    static LRESULT CALLBACK Subclass(HWND, UINT, WPARAM, LPARAM);
    static DWORD WINAPI Poster(LPVOID self);
    void Handle(double sent);

    HWND window_;
    unsigned periodMs_;
    HANDLE thread_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<bool> counting_{false};
    double begin_ = 0;
    double end_ = 0;
    double worst_ = 0;
    int count_ = 0;
};

}  // namespace bench
