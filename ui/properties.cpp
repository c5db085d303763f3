#include "ui/properties.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "core/codepage.h"
#include "core/log.h"
#include "ui/internal.h"
#include "ui/picture.h"

namespace ui {
namespace {

using codepage::Narrow;
using codepage::Wide;

using detail::ControlState;
using detail::OnWindowThread;
using detail::WindowState;

Text WindowText(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    if (length <= 0)
        return {};
    std::wstring buffer(length + 1, L'\0');
    int got = GetWindowTextW(hwnd, buffer.data(), length + 1);
    return Narrow(buffer.data(), got > 0 ? got : 0);
}

// Runs `job` with the named control on its window's thread.
template <typename Job>
void WithControl(HWND window, const char* name, Job job) {
    OnWindowThread(window, [&](WindowState& state) {
        if (ControlState* control = detail::FindControl(state, name))
            job(state, *control);
    });
}

bool IsKind(const ControlState& control, ControlKind kind) {
    return control.layout->kind == kind && control.hwnd;
}

// Marks a change made by the program, which raises no events.
class ProgramWrite {
  public:
    explicit ProgramWrite(WindowState& state) : state_(state) { ++state_.programWrites; }
    ~ProgramWrite() { --state_.programWrites; }
    ProgramWrite(const ProgramWrite&) = delete;
    ProgramWrite& operator=(const ProgramWrite&) = delete;

  private:
    WindowState& state_;
};

// The list's first selected row, -1 when none. A list that allows one selection is asked for
// its focused row first, which it knows at once and which is the selected row whenever the
// program or the user chose one; only otherwise does the list walk its rows from the top
// (at each step through thousands of fonts, several times).
int SelectedRow(HWND list) {
    if (GetWindowLongW(list, GWL_STYLE) & LVS_SINGLESEL) {
        int focused = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                    LVNI_FOCUSED | LVNI_SELECTED));
        if (focused >= 0)
            return focused;
    }
    return static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

}  // namespace

void RunOnWindowThread(const std::function<void()>& job) {
    OnWindowThread(nullptr, [&](WindowState&) { job(); });
}

void SetWindowTitle(HWND window, const Text& title) {
    std::wstring w = Wide(title);
    OnWindowThread(window, [&](WindowState& state) { SetWindowTextW(state.hwnd, w.c_str()); });
}

Text GetWindowTitle(HWND window) {
    Text result;
    OnWindowThread(window, [&](WindowState& state) { result = WindowText(state.hwnd); });
    return result;
}

void SetText(HWND window, const char* name, const Text& text) {
    std::wstring w = Wide(text);
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (c.hwnd)
            SetWindowTextW(c.hwnd, w.c_str());
    });
}

Text GetText(HWND window, const char* name) {
    Text result;
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (c.hwnd)
            result = WindowText(c.hwnd);
    });
    return result;
}

void SetDisabled(HWND window, const char* name, bool disabled) {
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (c.hwnd)
            EnableWindow(c.hwnd, !disabled);
    });
}

bool IsDisabled(HWND window, const char* name) {
    bool result = false;
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (c.hwnd)
            result = !IsWindowEnabled(c.hwnd);
    });
    return result;
}

void SetVisible(HWND window, const char* name, bool visible) {
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (c.hwnd)
            ShowWindow(c.hwnd, visible ? SW_SHOWNA : SW_HIDE);
    });
}

bool IsVisible(HWND window, const char* name) {
    bool result = false;
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (c.hwnd)
            result = (GetWindowLongW(c.hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
    });
    return result;
}

void SetTextColour(HWND window, const char* name, Colour colour) {
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        c.textColour = colour;
        if (c.hwnd)
            InvalidateRect(c.hwnd, nullptr, TRUE);
    });
}

Colour GetTextColour(HWND window, const char* name) {
    Colour result = kSystemColour;
    WithControl(window, name, [&](WindowState&, ControlState& c) { result = c.textColour; });
    return result;
}

void SetBackColour(HWND window, const char* name, Colour colour) {
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        c.backColour = colour;
        c.backBrush.Reset();
        c.bitmap.Reset();  // a picture box's picture lies over its background
        if (c.hwnd)
            InvalidateRect(c.hwnd, nullptr, TRUE);
    });
}

Colour GetBackColour(HWND window, const char* name) {
    Colour result = kSystemColour;
    WithControl(window, name, [&](WindowState&, ControlState& c) { result = c.backColour; });
    return result;
}

int GetSelection(HWND window, const char* name) {
    int result = -1;
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (IsKind(c, ControlKind::DropDownList))
            result = static_cast<int>(SendMessageW(c.hwnd, CB_GETCURSEL, 0, 0));
    });
    return result;
}

void SetSelection(HWND window, const char* name, int index) {
    WithControl(window, name, [&](WindowState& state, ControlState& c) {
        if (!IsKind(c, ControlKind::DropDownList))
            return;
        ProgramWrite write(state);
        SendMessageW(c.hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    });
}

int ListAddRow(HWND window, const char* name) {
    int result = -1;
    WithControl(window, name, [&](WindowState& state, ControlState& c) {
        if (!IsKind(c, ControlKind::ListView))
            return;
        ProgramWrite write(state);
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(SendMessageW(c.hwnd, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = const_cast<wchar_t*>(L"");
        result = static_cast<int>(
            SendMessageW(c.hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    });
    return result;
}

void ListAppendRows(HWND window,
                    const char* name,
                    const std::vector<std::vector<Text>>& rows,
                    bool repaint) {
    if (rows.empty() && !repaint)
        return;
    std::vector<std::vector<std::wstring>> wide;
    wide.reserve(rows.size());
    for (const auto& cells : rows) {
        std::vector<std::wstring> w;
        w.reserve(cells.size());
        for (const Text& cell : cells)
            w.push_back(Wide(cell));
        wide.push_back(std::move(w));
    }
    WithControl(window, name, [&](WindowState& state, ControlState& c) {
        if (!IsKind(c, ControlKind::ListView))
            return;
        ProgramWrite write(state);
        int columns = static_cast<int>(c.layout->columns.size());
        // One repaint for the whole batch (or run of batches) instead of one per row: a list
        // that redraws inserts each row with a scroll-bar update of its own.
        SendMessageW(c.hwnd, WM_SETREDRAW, FALSE, 0);
        int next = static_cast<int>(SendMessageW(c.hwnd, LVM_GETITEMCOUNT, 0, 0));
        for (auto& cells : wide) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = next;
            item.pszText = cells.empty() ? const_cast<wchar_t*>(L"") : cells[0].data();
            int row = static_cast<int>(
                SendMessageW(c.hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
            if (row < 0)
                break;
            for (int column = 1; column < columns && column < static_cast<int>(cells.size());
                 ++column) {
                LVITEMW sub = {};
                sub.iSubItem = column;
                sub.pszText = cells[column].data();
                SendMessageW(c.hwnd, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
            }
            next = row + 1;
        }
        if (!repaint)
            return;
        SendMessageW(c.hwnd, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(c.hwnd, nullptr, FALSE);
        // Painted now: the next batch of a run would otherwise switch drawing off again
        // before the list got to paint.
        UpdateWindow(c.hwnd);
    });
}

void ListDeleteRow(HWND window, const char* name, int row) {
    WithControl(window, name, [&](WindowState& state, ControlState& c) {
        if (!IsKind(c, ControlKind::ListView) || row < 0)
            return;
        ProgramWrite write(state);
        SendMessageW(c.hwnd, LVM_DELETEITEM, row, 0);
    });
}

void ListClear(HWND window, const char* name) {
    WithControl(window, name, [&](WindowState& state, ControlState& c) {
        if (!IsKind(c, ControlKind::ListView))
            return;
        ProgramWrite write(state);
        SendMessageW(c.hwnd, LVM_DELETEALLITEMS, 0, 0);
    });
}

int ListRowCount(HWND window, const char* name) {
    int result = 0;
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (IsKind(c, ControlKind::ListView))
            result = static_cast<int>(SendMessageW(c.hwnd, LVM_GETITEMCOUNT, 0, 0));
    });
    return result;
}

void ListSetCell(HWND window, const char* name, int row, int column, const Text& text) {
    std::wstring w = Wide(text);
    WithControl(window, name, [&](WindowState& state, ControlState& c) {
        if (!IsKind(c, ControlKind::ListView) || row < 0 || column < 0 ||
            column >= static_cast<int>(c.layout->columns.size()) ||
            row >= SendMessageW(c.hwnd, LVM_GETITEMCOUNT, 0, 0))
            return;
        ProgramWrite write(state);
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = w.data();
        SendMessageW(c.hwnd, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    });
}

Text ListGetCell(HWND window, const char* name, int row, int column) {
    Text result;
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (!IsKind(c, ControlKind::ListView) || row < 0 || column < 0 ||
            row >= SendMessageW(c.hwnd, LVM_GETITEMCOUNT, 0, 0))
            return;
        // The list copies at most the buffer's size; grow until the text fits.
        for (int size = 256; size <= (1 << 20); size *= 4) {
            std::wstring buffer(size, L'\0');
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = buffer.data();
            item.cchTextMax = size;
            int length = static_cast<int>(
                SendMessageW(c.hwnd, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
            if (length < size - 1) {
                result = Narrow(buffer.data(), length);
                return;
            }
        }
    });
    return result;
}

int ListCurrentRow(HWND window, const char* name) {
    int result = -1;
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (IsKind(c, ControlKind::ListView))
            result = SelectedRow(c.hwnd);
    });
    return result;
}

void ListSetCurrentRow(HWND window, const char* name, int row) {
    WithControl(window, name, [&](WindowState& state, ControlState& c) {
        if (!IsKind(c, ControlKind::ListView))
            return;
        ProgramWrite write(state);
        const bool exists = row >= 0 && row < SendMessageW(c.hwnd, LVM_GETITEMCOUNT, 0, 0);
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = 0;
        // Only the rows that are selected or focused are cleared: clearing every row at once
        // costs the list a notification per row, felt at each step through thousands of fonts.
        auto clear = [&](int other) {
            if (other >= 0 && (!exists || other != row))
                SendMessageW(c.hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(other),
                             reinterpret_cast<LPARAM>(&item));
        };
        if (GetWindowLongW(c.hwnd, GWL_STYLE) & LVS_SINGLESEL) {
            clear(SelectedRow(c.hwnd));
        } else {
            int other = -1;
            while ((other = static_cast<int>(SendMessageW(
                        c.hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(other), LVNI_SELECTED))) >= 0)
                clear(other);
        }
        clear(static_cast<int>(
            SendMessageW(c.hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)));
        if (!exists)
            return;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(c.hwnd, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
        SendMessageW(c.hwnd, LVM_SETSELECTIONMARK, 0, row);
    });
}

void ListScrollIntoView(HWND window, const char* name, int row) {
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (IsKind(c, ControlKind::ListView) && row >= 0)
            SendMessageW(c.hwnd, LVM_ENSUREVISIBLE, row, FALSE);
    });
}

void FocusControl(HWND window, const char* name) {
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (c.hwnd)
            SetFocus(c.hwnd);
    });
}

bool SetPicture(HWND window, const char* name, const Bytes& png) {
    // Decoded on the calling thread, so that a worker does not hold up the window.
    Picture picture = DecodePng(png);
    bool ok = png.empty() || !picture.Empty();
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (c.layout->kind == ControlKind::PictureBox)
            detail::SetPictureBoxPicture(c, std::move(picture));
    });
    return ok;
}

void SetTimerInterval(HWND window, const char* name, int milliseconds) {
    WithControl(window, name, [&](WindowState& state, ControlState& c) {
        if (c.layout->kind != ControlKind::Timer)
            return;
        c.interval = milliseconds > 0 ? milliseconds : 0;
        if (c.interval > 0) {
            if (!SetTimer(state.hwnd, c.id, c.interval, nullptr))
                LogLastError("SetTimer");
        } else {
            KillTimer(state.hwnd, c.id);
        }
    });
}

int GetTimerInterval(HWND window, const char* name) {
    int result = 0;
    WithControl(window, name, [&](WindowState&, ControlState& c) {
        if (c.layout->kind == ControlKind::Timer)
            result = c.interval;
    });
    return result;
}

}  // namespace ui
