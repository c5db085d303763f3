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

}  // namespace codepage
