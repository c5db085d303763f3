// Page charsets: the names pages declare in their meta tags, mapped to code pages, and the
// conversion of a body in such a charset to GBK text. Portable.
#pragma once

#include <string_view>

#include "core/types.h"

// The code page for a charset name (ASCII letters compared without case; blanks around the
// name ignored), or 0 when the name is unknown or its code page is not available here.
unsigned CodePageForCharset(const Text& charset);

// Looks for "<meta ... charset=NAME" within the first 1024 bytes of a page (ASCII letters in
// any case). Returns false when the search could not be run; otherwise true, with *charset
// set to the declared name or to empty text when the page declares none.
bool FindDeclaredCharset(const Text& page, Text* charset);

// Converts `body` from `charset` to GBK text, cut at its first zero byte; a leading byte order
// mark is dropped. Characters GBK lacks become "?" (or
// a look-alike the converter picks). Returns false and leaves `out` untouched
// when the charset is unknown.
bool DecodeCharset(std::string_view body, const Text& charset, Text& out);
