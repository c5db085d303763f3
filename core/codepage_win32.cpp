#include "core/codepage.h"

#include <windows.h>

namespace codepage {

std::u16string ToWide(std::string_view bytes, unsigned code_page) {
    if (bytes.empty())
        return {};
    int n =
        MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0)
        return {};
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()),
                        reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

std::string FromWide(std::u16string_view wide, unsigned code_page) {
    if (wide.empty())
        return {};
    auto* w = reinterpret_cast<const wchar_t*>(wide.data());
    int n = WideCharToMultiByte(code_page, 0, w, static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(code_page, 0, w, static_cast<int>(wide.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

bool IsSupported(unsigned code_page) {
    return IsValidCodePage(code_page) != 0;
}

}  // namespace codepage
