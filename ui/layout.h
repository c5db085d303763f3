// Layout tables: every window of the program is one constant WindowLayout holding one
// ControlLayout per control, and one constant table of EventBinding rows. The framework creates
// a window and all of its controls from these tables in one loop (see window.h); the tables are
// the only place where a position, caption, colour or handler binding is written down.
//
// Conventions of the tables:
// - Positions and sizes are pixels at 96 DPI; at other DPI the framework scales them.
//   A window's size is its outer size (border and caption bar included). A control's
//   left/top are relative to its parent: the window's client area, or the group box or frame
//   named in `parent` (relative to that container's top-left corner).
// - Texts and control names are GBK.
// - Colours are 0x00BBGGRR; kSystemColour means "no colour of its own".
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <vector>

#include "core/embedded_blob.h"
#include "core/types.h"

namespace ui {

inline constexpr Colour kSystemColour = 0xFFFFFFFFu;

// #RRGGBB written as in the layout, converted to the window system's 0x00BBGGRR.
constexpr Colour Rgb(std::uint32_t rrggbb) {
    return (rrggbb >> 16 & 0xFF) | (rrggbb & 0xFF00) | (rrggbb & 0xFF) << 16;
}

enum class ControlKind {
    Button,            // standard push button ("Button")
    FlatButton,        // owner-drawn button with three looks ("Button", BS_OWNERDRAW)
    Edit,              // "Edit"
    Label,             // "Static" with its own background
    TransparentLabel,  // "Static" painting no background
    GroupBox,          // container "LzfGroupBox": etched frame and caption
    Frame,             // container "LzfFrame": background and a one-pixel outline
    DropDownList,      // "ComboBox", CBS_DROPDOWNLIST
    ListView,          // "SysListView32", report view
    PictureBox,        // "LzfPictureBox"
    SaveDialog,        // no window: the save-file dialog's settings and last file name
    Timer,             // no window: a timer of the parent window
};

enum class FontStyle {
    GuiDefault,  // the system's default GUI font (DEFAULT_GUI_FONT)
    Normal,      // 微软雅黑, GB2312, -14, weight 400
    Bold,        // 微软雅黑, GB2312, -14, weight 700
    Bold16,      // 微软雅黑, GB2312, -16, weight 700
};

enum class EditBorder { None, StaticEdge, Single };
enum class Alignment { Left, Centre };
enum class InputMode { Normal, ReadOnly, IntegersOnly };
enum class OutlineStyle { None, Solid, DashDot };
enum class PictureMode { Scaled, Centred };

struct ColourPair {
    Colour text = kSystemColour;
    Colour face = kSystemColour;
};

struct ListColumn {
    const char* header;
    int width;
    Alignment alignment;
};

// A picture carried in the program (the accessor that lzf_embed generates).
using PictureSource = EmbeddedBlob (*)();

struct ControlLayout {
    ControlKind kind;
    const char* name;
    const char* parent = nullptr;  // nullptr: the window's client area
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    const char* text = nullptr;  // caption or content
    FontStyle font = FontStyle::Normal;
    Colour textColour = kSystemColour;  // also a group box's caption colour
    Colour backColour = kSystemColour;
    // Flat buttons: resting, pointer-over (hovered or pressed) and focus looks.
    ColourPair resting = {};
    ColourPair pointerOver = {};
    ColourPair focus = {};
    // Flat buttons: a picture per look (a missing one falls back to the resting picture) and a
    // picture for the disabled button. Drawn instead of the caption.
    PictureSource restingPicture = nullptr;
    PictureSource pointerOverPicture = nullptr;
    PictureSource focusPicture = nullptr;
    PictureSource disabledPicture = nullptr;
    // Window text of a control that draws pictures instead of a caption, so that screen readers
    // can name it.
    const char* accessibleName = nullptr;
    // Edit boxes.
    EditBorder border = EditBorder::None;  // list views: Single gives WS_BORDER
    Alignment alignment = Alignment::Left;
    InputMode input = InputMode::Normal;
    bool multiLine = false;  // wraps, takes Return, vertical scroll bar
    bool hideSelection = false;
    // Frames.
    OutlineStyle outline = OutlineStyle::None;
    Colour outlineColour = 0;
    // Picture boxes.
    PictureMode pictureMode = PictureMode::Scaled;
    PictureSource picture = nullptr;
    // Drop-down lists.
    std::span<const char* const> items = {};
    int selected = -1;
    // List views: columns; backColour is the background behind the rows, itemBackColour that
    // of the rows' text.
    std::span<const ListColumn> columns = {};
    Colour itemBackColour = kSystemColour;
    // State.
    bool visible = true;
    bool enabled = true;
    bool tabStop = false;
    bool handCursor = false;
    // Timers: initial interval in milliseconds, 0 = stopped.
    int interval = 0;
};

enum class WindowBorder {
    None,         // no border, no caption bar (WS_POPUP)
    FixedSingle,  // single border with caption bar, not resizable
    FixedFrame,   // frame border with caption bar and client edge, not resizable
};

struct WindowLayout {
    const char* title;
    int left;  // screen position when not centred
    int top;
    int width;  // outer size
    int height;
    bool centred;
    WindowBorder border;
    Colour backColour;  // kSystemColour: the system's dialog colour
    bool systemMenu;    // caption-bar system menu and close box
    bool minimiseBox;
    bool escCloses;
    bool taskbarButton;  // false: the window is owned (or a tool window when it has no owner)
    bool topMost;
    bool captionAlwaysActive;
    bool dragByClientArea;
    const wchar_t* className;  // nullptr: the framework's shared class
    // The property shorthands for features (properties.h) address the live window of the
    // layout marked main.
    bool isMainWindow;
    std::span<const ControlLayout> controls;
};

enum class Event {
    Created,            // the window: after every control exists, before it is shown
    Click,              // buttons and flat buttons
    ItemChosen,         // drop-down lists: the user chose an item (CBN_SELCHANGE)
    CurrentRowChanged,  // list views: the user made another row current
    DoubleClick,        // list views
    KeyDown,            // list views: a key was pressed (virtual-key code)
    Tick,               // timers
    Destroyed,          // the window: it is going away (its controls still exist)
};

using ActionHandler = void (*)();
using WindowHandler = void (*)(HWND window);
using IndexedHandler = void (*)(HWND window, int argument);
// Returns true when it has dealt with the key: the control's own handling of it is skipped.
using KeyHandler = bool (*)(int key);

// One row of a window's event table: the control (nullptr for the window itself), its event,
// and exactly one handler. IndexedHandler receives `argument`, so one function can serve a
// family of controls (the animation's timers).
struct EventBinding {
    const char* control;
    Event event;
    ActionHandler action = nullptr;
    WindowHandler onWindow = nullptr;
    IndexedHandler indexed = nullptr;
    int argument = 0;
    KeyHandler onKey = nullptr;
};

// What in a layout and its event table names no control of the layout: a control's parent, or
// an event binding's control. One line each ("parent of X: Y", "event of Y"); empty when every
// name is found. CreateLayoutWindow writes these lines to the debug log.
std::vector<Text> UnknownLayoutNames(const WindowLayout& layout,
                                     std::span<const EventBinding> events);

}  // namespace ui
