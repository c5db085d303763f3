#include "core/environment.h"

#ifdef _WIN32
#include <windows.h>

#include "core/codepage.h"
#else
#include <cstdlib>
#endif

Text GetEnvironmentText(const char* name) {
#ifdef _WIN32
    std::u16string wide_name(name, name + std::char_traits<char>::length(name));
    auto* w = reinterpret_cast<const wchar_t*>(wide_name.c_str());
    DWORD n = GetEnvironmentVariableW(w, nullptr, 0);
    if (n == 0)
        return {};
    std::u16string value(n, u'\0');
    n = GetEnvironmentVariableW(w, reinterpret_cast<wchar_t*>(value.data()), n);
    value.resize(n);
    return codepage::FromWide(value, codepage::kGbk);
#else
    const char* v = std::getenv(name);
    return v ? Text(v) : Text();
#endif
}

Text CatalogueBaseUrl() {
    Text url = GetEnvironmentText("LANZIFANG_CATALOGUE_URL");
    if (url.empty())
        url = LZF_DEFAULT_CATALOGUE_URL;
    if (url.back() != '/')
        url += '/';
    return url;
}

Text SkinUpdateUrl() {
    Text url = GetEnvironmentText("LANZIFANG_UPDATE_URL");
    return url.empty() ? Text(LZF_DEFAULT_UPDATE_URL) : url;
}
