// The bare probe beside a ↓ step: on the window thread, the next row of a list of the font
// list's kind is selected and scrolled into view by one row, then the three requests of a step
// go out over WinHTTP, or over a Winsock connection of its own (GET of the font's description,
// POST of the preview form, GET of the picture it names) and the picture is decoded and painted
// into a box of the preview box's size, over its background. Plain Win32, libpng for the decoding;
// nothing of the program.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "bench/catalogue/probe_list.h"

namespace bench {

class StepProbe {
  public:
    // The ways the requests can be made; the benchmark times each and keeps the fastest.
    enum Way {
        kFreshConnections,   // a session and a connection per request, none kept alive
        kOneSessionPerStep,  // one session per step, its connection kept for the three
        kKeptSession,        // one session for the whole run, connections kept alive
        kKeptSocket,         // Winsock: one connection for the whole run, each request sent in one
                             // piece and its answer read by its length (the program's own way)
        kWayCount
    };
    static const char* WayName(int way);
    // The User-Agent of the probe's requests, so that they can be told from the program's.
    static constexpr char kAgent[] = "lzf-step-probe";

    // `rows` fill the list; `base` is the service's root address ("http://host:port/").
    StepProbe(const std::vector<ListRow>& rows, const std::string& base);
    ~StepProbe();
    StepProbe(const StepProbe&) = delete;
    StepProbe& operator=(const StepProbe&) = delete;

    bool ready() const { return list_ != nullptr; }
    // Puts row `row` current and in view (at the bottom edge when coming from above).
    void StartAt(int row);
    // One step to the next row in `way`; the seconds it took, or a negative value when a
    // request failed or the answer named no picture.
    double Step(int way);
    // The parts of the last step, in seconds: the row change with its scroll, the description
    // request, the form post (with finding the picture's address), the picture request, the
    // decoding and painting.
    enum Part { kSelect, kDescription, kPost, kFetch, kShow, kPartCount };
    static const char* PartName(int part);
    double part(int p) const { return parts_[p]; }

  private:
    struct Session;
    bool Request(Session& session,
                 const wchar_t* verb,
                 const std::wstring& path,
                 const std::string& body,
                 std::string& answer);
    bool SocketRequest(Session& session,
                       const wchar_t* verb,
                       const std::wstring& path,
                       const std::string& body,
                       std::string& answer);

    HWND host_ = nullptr;
    HWND list_ = nullptr;
    HWND picture_ = nullptr;
    std::vector<ListRow> rows_;
    std::wstring server_;
    unsigned short port_ = 0;
    int row_ = -1;
    Session* kept_ = nullptr;
    Session* keptSocket_ = nullptr;
    double parts_[kPartCount] = {};
};

}  // namespace bench
