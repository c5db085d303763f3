#include <windows.h>

#include "core/codepage.h"
#include "core/environment.h"

Text GetEnvironmentText(const char* name) {
    std::u16string wide_name(name, name + std::char_traits<char>::length(name));
    auto* w = reinterpret_cast<const wchar_t*>(wide_name.c_str());
    DWORD n = GetEnvironmentVariableW(w, nullptr, 0);
    if (n == 0)
        return {};
    std::u16string value(n, u'\0');
    n = GetEnvironmentVariableW(w, reinterpret_cast<wchar_t*>(value.data()), n);
    value.resize(n);
    return codepage::FromWide(value, codepage::kGbk);
}
