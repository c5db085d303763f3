// Rewrites an ECMAScript regular expression (UTF-16) into PCRE2 syntax where the two differ
// for the constructs the program can meet: "." and the multi-line "^"/"$" use ECMAScript's
// line terminators, "\v" is the vertical tab only, identity escapes of letters PCRE2 reads
// as special ("\h", "\K", "\Q" ...) stay plain letters, and "[" inside a class is literal.
// Compile the result with PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
// PCRE2_DOLLAR_ENDONLY.
#pragma once

#include <string>
#include <string_view>

std::u16string TranslateJsPattern(std::u16string_view pattern, bool multi_line);
