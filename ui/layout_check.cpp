#include <cstring>

#include "ui/layout.h"

namespace ui {
namespace {

bool NamesAControl(const WindowLayout& layout, const char* name) {
    for (const ControlLayout& c : layout.controls) {
        if (c.name && std::strcmp(c.name, name) == 0)
            return true;
    }
    return false;
}

}  // namespace

std::vector<Text> UnknownLayoutNames(const WindowLayout& layout,
                                     std::span<const EventBinding> events) {
    std::vector<Text> unknown;
    for (const ControlLayout& c : layout.controls) {
        if (c.parent && !NamesAControl(layout, c.parent))
            unknown.push_back(Text("parent of ") + (c.name ? c.name : "?") + ": " + c.parent);
    }
    for (const EventBinding& b : events) {
        if (b.control && !NamesAControl(layout, b.control))
            unknown.push_back(Text("event of ") + b.control);
    }
    return unknown;
}

}  // namespace ui
