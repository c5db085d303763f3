// Conversions between the program's GBK texts and UTF-16, UTF-8 and percent-encoding.
// Code page 0 (the system's ANSI code page) is taken to be 936: the program's texts are GBK
// whatever the system's locale is.
#pragma once

#include "core/types.h"

// GBK text to UTF-16LE bytes ending with one zero code unit (dropped on request). An empty
// text gives an empty array.
Bytes ToUtf16(const Text& s, bool drop_terminator = false);

// UTF-16LE bytes up to the first zero code unit (or the end) to GBK text. A base letter
// followed by a combining mark becomes the precomposed GBK character when GBK has one.
Text FromUtf16(const Bytes& utf16le);

// `s` in `code_page` to UTF-16LE, with the terminating zero unit; empty text -> empty array.
Bytes TextToUtf16(const Text& s, unsigned code_page = 65001);

// UTF-16LE bytes (up to the first zero unit) to text in `code_page`.
Text Utf16ToText(const Bytes& utf16le, unsigned code_page = 0);

Text Utf8ToGbk(const Text& s);
Text GbkToUtf8(const Text& s);

// Decodes %XX sequences ("+" stays a plus sign); with `from_utf8` the decoded bytes are then
// read as UTF-8 and converted to GBK.
Text PercentDecode(const Text& s, bool from_utf8);

// Percent-encodes the UTF-8 form of `s`: every byte except A-Z a-z 0-9 "-" "." becomes %XX
// with upper-case digits (a blank becomes %20).
Text FormUrlEncode(const Text& s);
