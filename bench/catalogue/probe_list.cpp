#include "bench/catalogue/probe_list.h"

#include <windows.h>

#include <commctrl.h>

#include "bench/probe_support.h"

namespace bench {
namespace {

struct Way {
    const char* name;
    bool announceCount;
};

// Redrawing as each row goes in is no contender: under Wine it takes tens of seconds for
// 10,000 rows.
constexpr Way kWays[] = {
    {"redraw-off", false},
    {"redraw-off,count-first", true},
};

LRESULT CALLBACK HostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND CreateProbeHost() {
    static const bool registered = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = HostProcedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = L"LzfListProbeHost";
        return RegisterClassExW(&wc) != 0;
    }();
    if (!registered)
        return nullptr;
    // Beside the main window, not over it, and never taking the activation from it: the
    // program's window must not repaint or activate because of the probe. Without a caption,
    // so that the program's skin (which frames captioned windows) leaves it bare.
    HWND host =
        CreateWindowExW(WS_EX_NOACTIVATE, L"LzfListProbeHost", L"probe", WS_POPUP | WS_BORDER, 790,
                        50, 480, 680, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (host)
        ShowWindow(host, SW_SHOWNOACTIVATE);
    return host;
}

HWND CreateProbeList(HWND host) {
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT |
                                    LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                4, 39, 332, 424, host, reinterpret_cast<HMENU>(1),
                                GetModuleHandleW(nullptr), nullptr);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const wchar_t* headers[] = {L"序号", L"字体  【↑ ↓键快速预览】", L"ID"};
    const int widths[] = {50, 200, 60};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = i == 0 ? LVCFMT_LEFT : LVCFMT_CENTER;
        column.cx = widths[i];
        column.pszText = const_cast<wchar_t*>(headers[i]);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(list, LVM_SETTEXTCOLOR, 0, RGB(0x00, 0x88, 0xFF));
    SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, RGB(0xFF, 0xFF, 0xFF));
    SendMessageW(list, LVM_SETBKCOLOR, 0, RGB(0xEC, 0xEC, 0xEC));
    return list;
}

void ProbePump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

namespace {

double FillOnce(const std::vector<ListRow>& rows, const Way& way) {
    HWND host = CreateProbeHost();
    if (!host)
        return 1e9;
    HWND list = CreateProbeList(host);
    UpdateWindow(host);
    ProbePump();
    const double start = probe::Now();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    if (way.announceCount)
        SendMessageW(list, LVM_SETITEMCOUNT, rows.size(), 0);
    int next = 0;
    for (const ListRow& row : rows) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = next;
        item.pszText = const_cast<wchar_t*>(row[0].c_str());
        const int at = static_cast<int>(
            SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        for (int column = 1; column < 3; ++column) {
            LVITEMW sub = {};
            sub.iSubItem = column;
            sub.pszText = const_cast<wchar_t*>(row[column].c_str());
            SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
        }
        next = at + 1;
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, FALSE);
    UpdateWindow(list);
    const double took = probe::Now() - start;
    const bool complete = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == LRESULT(rows.size());
    DestroyWindow(host);
    ProbePump();
    return complete ? took : 1e9;
}

}  // namespace

double ProbeListInserts(const std::vector<ListRow>& rows, const char** way) {
    double best = 1e9;
    for (const Way& w : kWays) {
        const double took = FillOnce(rows, w);
        if (took < best) {
            best = took;
            *way = w.name;
        }
    }
    return best;
}

}  // namespace bench
