// Page charsets: the names pages declare in their meta tags, mapped to code pages, and the
// conversion of a body in such a charset to GBK text.
#pragma once

#include "core/types.h"

// The code page for a charset name (ASCII letters compared without case; blanks around the
// name ignored), or 0 when the name is unknown or its code page is not available here.
unsigned CodePageForCharset(const Text& charset);

// The charset declared by "<meta ... charset=NAME" within the first 1024 bytes of a page
// (case-insensitive), or empty text when there is none.
Text DeclaredCharset(const Text& page);

// Converts `body` from `charset` to GBK text, cut at its first zero byte. Returns false and
// leaves `out` untouched when the charset is unknown.
bool DecodeCharset(const Bytes& body, const Text& charset, Text& out);
