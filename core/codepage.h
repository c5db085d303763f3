// Code-page conversion: the one place where the program's GBK texts meet UTF-16 and other
// charsets. Windows uses MultiByteToWideChar/WideCharToMultiByte; the native build uses iconv.
#pragma once

#include <string>
#include <string_view>

namespace codepage {

constexpr unsigned kGbk = 936;
constexpr unsigned kUtf8 = 65001;

// Converts bytes in `code_page` to UTF-16. Bytes that do not form a character in that code
// page come out as the converter's replacement character. Never throws.
std::u16string ToWide(std::string_view bytes, unsigned code_page = kGbk);

// Converts UTF-16 to `code_page`. Characters the code page lacks become "?" (GBK) or the
// converter's default; the result never holds a zero byte unless the input did.
std::string FromWide(std::u16string_view wide, unsigned code_page = kGbk);

// True when the code page can be used on this platform.
bool IsSupported(unsigned code_page);

#ifdef _WIN32
// The program's texts at a Win32 call, which takes wchar_t strings (UTF-16 on Windows).
// A null pointer is an empty text.
inline std::wstring Wide(std::string_view gbk) {
    std::u16string w = ToWide(gbk, kGbk);
    return std::wstring(w.begin(), w.end());
}
inline std::wstring Wide(const char* gbk) {
    return gbk ? Wide(std::string_view(gbk)) : std::wstring();
}
inline std::string Narrow(std::wstring_view wide) {
    return FromWide(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()), kGbk);
}
inline std::string Narrow(const wchar_t* wide) {
    return wide ? Narrow(std::wstring_view(wide)) : std::string();
}
inline std::string Narrow(const wchar_t* wide, std::size_t length) {
    return Narrow(std::wstring_view(wide, length));
}
#endif

}  // namespace codepage
