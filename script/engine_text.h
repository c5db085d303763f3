// Texts between the program (GBK) and the script engine, whose strings are CESU-8: UTF-8 with
// each UTF-16 unit encoded on its own, so characters beyond the BMP are two three-byte
// surrogates and keep their length of 2 in scripts.
#pragma once

#include <string>
#include <string_view>

#include "core/types.h"

std::string Utf16ToCesu8(std::u16string_view text);
// Also reads four-byte UTF-8 (as a surrogate pair); malformed bytes become U+FFFD.
std::u16string Cesu8ToUtf16(std::string_view text);

std::string GbkToEngine(const Text& text);
Text EngineToGbk(std::string_view text);
