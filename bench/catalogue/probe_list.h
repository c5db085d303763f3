// The bare probe beside the font-list load: a plain top-level window holding a report-style
// list view of the font list's style, size and columns, filled with the same rows on its own
// thread by plain list-view messages. Win32 only; nothing of the program's framework.
#pragma once

#include <array>
#include <string>
#include <vector>

#include <windows.h>

namespace bench {

using ListRow = std::array<std::wstring, 3>;

// A plain visible top-level window beside the main window (not activated), and in it a list
// view of the font list's size and look (report style, one selection, full-row selection,
// double buffered, its three columns and colours).
HWND CreateProbeHost();
HWND CreateProbeList(HWND host);

// Processes every queued message of this thread.
void ProbePump();

// Fills a fresh list with `rows` in each of a few ways (drawing off until the last row; the
// same with the row count announced first), each until the list has painted, and returns the
// seconds of the fastest way; *way receives its name.
double ProbeListInserts(const std::vector<ListRow>& rows, const char** way);

}  // namespace bench
