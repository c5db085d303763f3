// The live windows against the layout: every control's class, parent, position, size, text,
// state, font and styles, read back from the windows themselves. The expected values are
// written out here, not taken from the program's layout tables.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "app/animation_events.h"
#include "app/program_windows.h"
#include "core/codepage.h"
#include "tests/ui/ui_test_support.h"
#include "ui/properties.h"
#include "ui/window.h"

namespace {

enum class Font { None, Gui, Normal14, Bold14, Bold16 };

struct Expected {
    const char* name;
    const wchar_t* className;
    const char* parent;  // nullptr: the window
    int left, top, width, height;
    const char16_t* text;
    bool visible;
    bool enabled;
    bool tabStop;
    Font font;
    DWORD styles;    // must all be set
    DWORD absent;    // must all be clear
    DWORD exStyles;  // must all be set
};

constexpr DWORD kEditCentredReadOnly = ES_CENTER | ES_READONLY;
constexpr DWORD kNumber = ES_CENTER | ES_NUMBER;

const Expected kMainExpected[] = {
    {"按钮2", L"Button", nullptr, 666, 1, 56, 26, u"打赏", true, true, true, Font::Normal14, 0, 0,
     0},
    {"按钮1", L"Button", nullptr, 633, 465, 88, 21, u"下载字加软件", true, true, true,
     Font::Normal14, 0, 0, 0},
    {"超级按钮6", L"Button", nullptr, 469, 294, 74, 28, u"取消下载", false, true, true,
     Font::Bold16, BS_OWNERDRAW, 0, 0},
    {"超级按钮5", L"Button", nullptr, 4, 465, 148, 20, u"商用430套字体免费下载", true, true, true,
     Font::Gui, BS_OWNERDRAW, 0, 0},
    {"超级按钮1", L"Button", nullptr, 296, 14, 40, 23, u"查找", true, true, true, Font::Bold14,
     BS_OWNERDRAW, 0, 0},
    {"字体查找", L"Edit", nullptr, 204, 14, 91, 23, u"泼墨字体", true, true, true, Font::Bold14,
     ES_CENTER, ES_READONLY | ES_NUMBER | ES_MULTILINE, 0},
    {"透明标签1", L"Static", nullptr, 139, 14, 62, 24, u"查找字体：", true, true, false,
     Font::Bold14, 0, 0, 0},
    {"图片框1", L"LzfPictureBox", "外形框1", 1, 1, 378, 133, u"", true, true, false, Font::None, 0,
     0, 0},
    {"组合框2", L"ComboBox", "分组框1", 78, 100, 70, 20, u"白色-透明图", true, true, true,
     Font::Gui, CBS_DROPDOWNLIST, 0, 0},
    {"组合框1", L"ComboBox", "分组框1", 78, 61, 70, 20, u"黑色", true, true, true, Font::Gui,
     CBS_DROPDOWNLIST, 0, 0},
    {"ID", L"Edit", "外形框2", 158, 1, 35, 30, u"104", true, true, true, Font::Normal14,
     kEditCentredReadOnly, ES_NOHIDESEL | WS_BORDER, 0},
    {"字体", L"Edit", "外形框2", 1, 1, 157, 30, u"览字坊", true, true, true, Font::Normal14,
     kEditCentredReadOnly, ES_NOHIDESEL | WS_BORDER, 0},
    {"编辑框4", L"Edit", "分组框1", 11, 41, 60, 16, u"#000000", false, true, true, Font::Gui,
     kEditCentredReadOnly, 0, WS_EX_STATICEDGE},
    {"外形框2", L"LzfFrame", "分组框1", 174, 94, 194, 32, u"", true, true, false, Font::None, 0, 0,
     0},
    {"超级按钮4", L"Button", nullptr, 633, 294, 88, 28, u"图片下载", true, true, true, Font::Bold16,
     BS_OWNERDRAW, 0, 0},
    {"外形框1", L"LzfFrame", nullptr, 342, 328, 380, 135, u"", true, true, false, Font::None, 0, 0,
     0},
    {"超级按钮3", L"Button", nullptr, 543, 294, 88, 28, u"字体下载", true, false, true, Font::Gui,
     BS_OWNERDRAW, 0, 0},
    {"超级按钮2", L"Button", nullptr, 342, 294, 88, 28, u"预览字体", true, true, false,
     Font::Bold16, BS_OWNERDRAW, 0, 0},
    {"编辑框6", L"Edit", "分组框2", 7, 25, 365, 84, u"请输入内容", true, true, true, Font::Normal14,
     ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL, ES_CENTER | ES_NOHIDESEL, WS_EX_STATICEDGE},
    {"分组框2", L"LzfGroupBox", nullptr, 342, 173, 380, 116, u"内容区", true, true, false,
     Font::Normal14, 0, 0, 0},
    {"标签5", L"Static", "分组框1", 12, 96, 64, 24, u"背景颜色：", true, true, false,
     Font::Normal14, 0, 0, 0},
    {"编辑框5", L"Edit", "分组框1", 12, 82, 60, 16, u"#FFFFFF", false, true, true, Font::Gui,
     kEditCentredReadOnly, 0, WS_EX_STATICEDGE},
    {"标签4", L"Static", "分组框1", 12, 56, 72, 24, u"字体颜色：", true, true, false,
     Font::Normal14, 0, 0, 0},
    {"编辑框3", L"Edit", "分组框1", 296, 61, 70, 16, u"200", true, true, true, Font::Gui, kNumber,
     ES_READONLY | ES_NOHIDESEL, WS_EX_STATICEDGE},
    {"标签3", L"Static", "分组框1", 173, 56, 121, 24, u"预览图高度(像素)：", true, true, false,
     Font::Normal14, 0, 0, 0},
    {"编辑框2", L"Edit", "分组框1", 296, 27, 70, 16, u"600", true, true, true, Font::Gui, kNumber,
     ES_READONLY | ES_NOHIDESEL, WS_EX_STATICEDGE},
    {"标签2", L"Static", "分组框1", 173, 22, 120, 24, u"预览图宽度(像素)：", true, true, false,
     Font::Normal14, 0, 0, 0},
    {"编辑框1", L"Edit", "分组框1", 78, 27, 70, 16, u"50", true, true, true, Font::Gui, kNumber,
     ES_READONLY | ES_NOHIDESEL, WS_EX_STATICEDGE},
    {"标签1", L"Static", "分组框1", 12, 22, 63, 24, u"字体大小：", true, true, false,
     Font::Normal14, 0, 0, 0},
    {"分组框1", L"LzfGroupBox", nullptr, 342, 27, 380, 140, u"字体属性设置", true, true, false,
     Font::Normal14, 0, 0, 0},
    {"超级列表框1", L"SysListView32", nullptr, 4, 39, 332, 424, u"", true, true, true,
     Font::Normal14, LVS_REPORT | WS_BORDER, 0, 0},
    {"初始化字体", L"Button", nullptr, 4, 2, 128, 35, u"初始化字体", true, true, true,
     Font::Normal14, 0, 0, 0},
};

const Expected kTipExpected[] = {
    {"图片框1", L"LzfPictureBox", nullptr, -37, 0, 400, 448, u"", true, true, false, Font::None, 0,
     0, 0},
};

// Control names are GBK; traces show them as UTF-8.
std::string Readable(const char* gbk) {
    return codepage::FromWide(codepage::ToWide(gbk), codepage::kUtf8);
}

std::u16string U16(const wchar_t* s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s));
}

void CheckFont(HWND control, Font font, const char* name) {
    if (font == Font::None)
        return;
    auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    ASSERT_NE(handle, nullptr) << name;
    if (font == Font::Gui) {
        EXPECT_EQ(handle, GetStockObject(DEFAULT_GUI_FONT)) << name;
        return;
    }
    LOGFONTW lf = {};
    ASSERT_NE(GetObjectW(handle, sizeof(lf), &lf), 0) << name;
    EXPECT_EQ(U16(lf.lfFaceName), u"微软雅黑") << name;
    EXPECT_EQ(lf.lfCharSet, GB2312_CHARSET) << name;
    EXPECT_EQ(lf.lfHeight, font == Font::Bold16 ? -16 : -14) << name;
    EXPECT_EQ(lf.lfWeight, font == Font::Normal14 ? 400 : 700) << name;
}

void CheckControls(HWND window, const Expected* expected, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const Expected& e = expected[i];
        SCOPED_TRACE(Readable(e.name));
        HWND control = ui::ControlHandle(window, e.name);
        ASSERT_NE(control, nullptr);
        wchar_t className[64] = {};
        GetClassNameW(control, className, 64);
        EXPECT_STREQ(className, e.className);
        HWND parent = e.parent ? ui::ControlHandle(window, e.parent) : window;
        ASSERT_NE(parent, nullptr);
        EXPECT_EQ(GetParent(control), parent);
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, e.left);
        EXPECT_EQ(r.top, e.top);
        EXPECT_EQ(r.right - r.left, e.width);
        EXPECT_EQ(r.bottom - r.top, e.height);
        EXPECT_EQ(uitest::WindowText(control), e.text);
        LONG style = GetWindowLongW(control, GWL_STYLE);
        LONG exStyle = GetWindowLongW(control, GWL_EXSTYLE);
        EXPECT_EQ((style & WS_VISIBLE) != 0, e.visible);
        EXPECT_EQ(IsWindowEnabled(control) != 0, e.enabled);
        EXPECT_EQ((style & WS_TABSTOP) != 0, e.tabStop);
        if (std::wcscmp(e.className, L"Button") == 0) {
            // Flat buttons are owner-drawn, standard ones plain push buttons.
            EXPECT_EQ(style & BS_TYPEMASK, e.styles == BS_OWNERDRAW ? BS_OWNERDRAW : BS_PUSHBUTTON);
        } else {
            EXPECT_EQ(static_cast<DWORD>(style) & e.styles, e.styles) << std::hex << style;
            EXPECT_EQ(static_cast<DWORD>(style) & e.absent, 0u) << std::hex << style;
        }
        EXPECT_EQ(static_cast<DWORD>(exStyle) & e.exStyles, e.exStyles) << std::hex << exStyle;
        CheckFont(control, e.font, e.name);
    }
}

struct WindowGuard {
    HWND hwnd;
    ~WindowGuard() {
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
        ui::PumpMessages();
    }
};

RECT WorkArea() {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

TEST(Layout, MainWindowControls) {
    WindowGuard main{ui::CreateLayoutWindow(kMainWindowLayout, {})};
    ASSERT_NE(main.hwnd, nullptr);
    ui::ShowLayoutWindow(main.hwnd);
    CheckControls(main.hwnd, kMainExpected, std::size(kMainExpected));
    EXPECT_EQ(ui::ControlHandle(main.hwnd, "通用对话框1"), nullptr);  // no window of its own
}

TEST(Layout, MainWindowSettings) {
    WindowGuard main{ui::CreateLayoutWindow(kMainWindowLayout, {})};
    ASSERT_NE(main.hwnd, nullptr);
    EXPECT_EQ(ui::MainWindow(), main.hwnd);
    RECT r;
    GetWindowRect(main.hwnd, &r);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right - r.left, 734);
    EXPECT_EQ(r.bottom - r.top, 517);
    wchar_t className[32] = {};
    GetClassNameW(main.hwnd, className, 32);
    EXPECT_STREQ(className, L"QMVK");
    EXPECT_EQ(uitest::WindowText(main.hwnd), u"览字坊");
    LONG style = GetWindowLongW(main.hwnd, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    LONG exStyle = GetWindowLongW(main.hwnd, GWL_EXSTYLE);
    EXPECT_FALSE(exStyle & WS_EX_TOPMOST);
    EXPECT_FALSE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_EQ(GetWindow(main.hwnd, GW_OWNER), nullptr);
}

TEST(Layout, ListColumnsAndColours) {
    WindowGuard main{ui::CreateLayoutWindow(kMainWindowLayout, {})};
    HWND list = ui::ControlHandle(main.hwnd, "超级列表框1");
    ASSERT_NE(list, nullptr);
    struct Column {
        const char16_t* header;
        int width;
        int format;
    } const columns[] = {
        {u"序号", 50, LVCFMT_LEFT},
        {u"字体  【↑ ↓键快速预览】", 200, LVCFMT_CENTER},
        {u"ID", 60, LVCFMT_CENTER},
    };
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        wchar_t text[128] = {};
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        lvc.pszText = text;
        lvc.cchTextMax = 128;
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&lvc)));
        EXPECT_EQ(U16(text), columns[i].header);
        EXPECT_EQ(lvc.cx, columns[i].width);
        EXPECT_EQ(lvc.fmt & LVCFMT_JUSTIFYMASK, columns[i].format);
    }
    EXPECT_EQ(SendMessageW(list, LVM_GETTEXTCOLOR, 0, 0), RGB(0x00, 0x88, 0xFF));
    EXPECT_EQ(SendMessageW(list, LVM_GETTEXTBKCOLOR, 0, 0), RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(SendMessageW(list, LVM_GETBKCOLOR, 0, 0), RGB(0xEC, 0xEC, 0xEC));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(ui::ListCurrentRow(main.hwnd, "超级列表框1"), -1);
}

TEST(Layout, DropDownListItems) {
    WindowGuard main{ui::CreateLayoutWindow(kMainWindowLayout, {})};
    struct Case {
        const char* name;
        const char16_t* items[6];
        int selected;
    } const cases[] = {
        {"组合框1", {u"白色", u"黑色", u"红色", u"黄色", u"蓝色", u"绿色"}, 1},
        {"组合框2", {u"白色-透明图", u"黑色", u"红色", u"黄色", u"蓝色", u"绿色"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Readable(c.name));
        HWND combo = ui::ControlHandle(main.hwnd, c.name);
        ASSERT_NE(combo, nullptr);
        ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 6);
        for (int i = 0; i < 6; ++i) {
            wchar_t text[64] = {};
            SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            EXPECT_EQ(U16(text), c.items[i]);
        }
        EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), c.selected);
        EXPECT_EQ(ui::GetSelection(main.hwnd, c.name), c.selected);
    }
}

// The three size fields take digits and refuse letters.
TEST(Layout, SizeFieldsTakeOnlyDigits) {
    WindowGuard main{ui::CreateLayoutWindow(kMainWindowLayout, {})};
    ui::ShowLayoutWindow(main.hwnd);
    struct Case {
        const char* name;
        const char* initial;
    } const cases[] = {{"编辑框1", "50"}, {"编辑框2", "600"}, {"编辑框3", "200"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Readable(c.name));
        HWND edit = ui::ControlHandle(main.hwnd, c.name);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(ui::GetText(main.hwnd, c.name), c.initial);
        SetFocus(edit);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        for (wchar_t ch : {L'a', L'Z', L'-', L'.', L'字'})
            SendMessageW(edit, WM_CHAR, ch, 0);
        EXPECT_EQ(ui::GetText(main.hwnd, c.name), c.initial);
        SendMessageW(edit, WM_CHAR, L'7', 0);  // replaces the selection
        EXPECT_EQ(ui::GetText(main.hwnd, c.name), "7");
    }
    // The search field takes anything.
    HWND search = ui::ControlHandle(main.hwnd, "字体查找");
    SendMessageW(search, EM_SETSEL, 0, -1);
    SendMessageW(search, WM_CHAR, L'a', 0);
    EXPECT_EQ(ui::GetText(main.hwnd, "字体查找"), "a");
}

// Tab walks every visible, enabled tab stop, those inside group boxes and frames included, and
// nothing else.
TEST(Layout, TabOrderReachesEveryTabStop) {
    WindowGuard main{ui::CreateLayoutWindow(kMainWindowLayout, {})};
    ui::ShowLayoutWindow(main.hwnd);
    std::vector<std::string> expected;
    for (const Expected& e : kMainExpected) {
        if (e.tabStop && e.visible && e.enabled)
            expected.push_back(e.name);
    }
    std::vector<std::string> reached;
    HWND first = GetNextDlgTabItem(main.hwnd, nullptr, FALSE);
    HWND at = first;
    while (at && reached.size() <= expected.size()) {
        std::string name;
        for (const Expected& e : kMainExpected) {
            if (ui::ControlHandle(main.hwnd, e.name) == at)
                name = e.name;
        }
        reached.push_back(name.empty() ? "?" : name);
        at = GetNextDlgTabItem(main.hwnd, at, FALSE);
        if (at == first)
            break;
    }
    std::sort(expected.begin(), expected.end());
    std::sort(reached.begin(), reached.end());
    EXPECT_EQ(reached, expected);
}

TEST(Layout, TipWindow) {
    WindowGuard main{ui::CreateLayoutWindow(kMainWindowLayout, {})};
    WindowGuard tip{CreateTipWindow(main.hwnd)};
    ASSERT_NE(tip.hwnd, nullptr);
    ui::ShowLayoutWindow(tip.hwnd);
    CheckControls(tip.hwnd, kTipExpected, std::size(kTipExpected));
    RECT r;
    GetWindowRect(tip.hwnd, &r);
    RECT work = WorkArea();
    EXPECT_EQ(r.right - r.left, 330);
    EXPECT_EQ(r.bottom - r.top, 473);
    EXPECT_EQ(r.left, work.left + (work.right - work.left - 330) / 2);
    EXPECT_EQ(r.top, work.top + (work.bottom - work.top - 473) / 2);
    EXPECT_EQ(uitest::WindowText(tip.hwnd), u"  微信打赏  -  你的支持是我努力的动力");
    LONG style = GetWindowLongW(tip.hwnd, GWL_STYLE);
    LONG exStyle = GetWindowLongW(tip.hwnd, GWL_EXSTYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_CLIENTEDGE);
    // No taskbar button: owned by the main window (or a tool window).
    EXPECT_TRUE(GetWindow(tip.hwnd, GW_OWNER) == main.hwnd || (exStyle & WS_EX_TOOLWINDOW));
    EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);
    // The picture box is wider than the client area and starts left of it.
    RECT client;
    GetClientRect(tip.hwnd, &client);
    EXPECT_LT(client.right, 400 - 37);
}

TEST(Layout, AnimationWindow) {
    WindowGuard animation{ui::CreateLayoutWindow(kAnimationWindowLayout, {})};
    ASSERT_NE(animation.hwnd, nullptr);
    RECT r;
    GetWindowRect(animation.hwnd, &r);
    RECT work = WorkArea();
    EXPECT_EQ(r.right - r.left, 495);
    EXPECT_EQ(r.bottom - r.top, 331);
    EXPECT_EQ(r.left, work.left + (work.right - work.left - 495) / 2);
    EXPECT_EQ(r.top, work.top + (work.bottom - work.top - 331) / 2);
    LONG style = GetWindowLongW(animation.hwnd, GWL_STYLE);
    LONG exStyle = GetWindowLongW(animation.hwnd, GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME));
    EXPECT_FALSE(exStyle & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST));
    EXPECT_EQ(GetWindow(animation.hwnd, GW_OWNER), nullptr);
    EXPECT_FALSE(uitest::WindowText(animation.hwnd).empty());
    EXPECT_EQ(GetWindow(animation.hwnd, GW_CHILD), nullptr);  // timers only
    for (int k = 1; k <= 36; ++k) {
        std::string name = "时钟" + std::to_string(k);
        SCOPED_TRACE(Readable(name.c_str()));
        EXPECT_EQ(ui::GetTimerInterval(animation.hwnd, name.c_str()), k == 36 ? 1000 : 0);
    }
    EXPECT_EQ(ui::GetTimerInterval(animation.hwnd, "时钟37"), 0);
}

// Every control an event table binds and every parent a layout names is a control of that
// layout; a binding to a control the layout lacks is reported.
TEST(Layout, EventTablesNameControlsOfTheirLayouts) {
    EXPECT_EQ(ui::UnknownLayoutNames(kMainWindowLayout, MainWindowEvents()), std::vector<Text>{});
    EXPECT_EQ(ui::UnknownLayoutNames(kAnimationWindowLayout, AnimationWindowEvents()),
              std::vector<Text>{});
    EXPECT_EQ(ui::UnknownLayoutNames(kTipWindowLayout, {}), std::vector<Text>{});
    const ui::EventBinding stray[] = {{.control = "超级按钮9", .event = ui::Event::Click}};
    EXPECT_EQ(ui::UnknownLayoutNames(kMainWindowLayout, stray),
              std::vector<Text>{"event of 超级按钮9"});
}

// 时钟1 ... 时钟34 show their own frame, 时钟35 finishes, 时钟36 trims, the window's creation
// starts the animation: one binding each, no control bound twice.
TEST(Layout, AnimationEventTable) {
    auto events = AnimationWindowEvents();
    int created = 0;
    for (int k = 1; k <= 36; ++k) {
        std::string name = "时钟" + std::to_string(k);
        SCOPED_TRACE(Readable(name.c_str()));
        int bound = 0;
        for (const ui::EventBinding& b : events) {
            if (!b.control || name != b.control)
                continue;
            ++bound;
            EXPECT_EQ(b.event, ui::Event::Tick);
            if (k <= 34) {
                EXPECT_EQ(b.indexed, &ShowFrame);
                EXPECT_EQ(b.argument, k);
            } else if (k == 35) {
                EXPECT_EQ(b.onWindow, &FinishAnimation);
            } else {
                EXPECT_NE(b.action, nullptr);
            }
        }
        EXPECT_EQ(bound, 1);
    }
    for (const ui::EventBinding& b : events) {
        if (!b.control) {
            ++created;
            EXPECT_EQ(b.event, ui::Event::Created);
            EXPECT_EQ(b.onWindow, &StartAnimation);
        }
    }
    EXPECT_EQ(created, 1);
}

}  // namespace
