// GBK-aware text helpers. A byte of 0x80 or more starts a two-byte character; searches, case
// conversion, trimming and splitting step over such characters as a whole and never match at
// their second byte. Positions count bytes from 1; a search that finds nothing gives -1.
#pragma once

#include <cstddef>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/types.h"

// True when `byte` starts a two-byte character.
inline bool IsLeadByte(unsigned char byte) {
    return byte >= 0x80;
}

// Length in bytes of the character that starts at index `i` (0-based) of `s`: 2 for a lead
// byte followed by another byte, else 1 (a lead byte at the very end stands alone).
inline std::size_t CharLengthAt(const Text& s, std::size_t i) {
    return (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// Position (from 1) of the first occurrence of `needle` in `s` that starts at or after byte
// position `start`, at the start of a character. With `ignore_case`, ASCII letters match
// regardless of case (second bytes of two-byte characters are always compared exactly).
// An empty needle is never found.
long FindText(const Text& s, const Text& needle, long start = 1, bool ignore_case = false);

// Position (from 1) of the last occurrence of `needle` in `s` at the start of a character.
long FindLastText(const Text& s, const Text& needle, bool ignore_case = false);

// `s` without ASCII blanks (0x20) and full-width blanks (0xA1 0xA1) at both ends.
Text TrimBlanks(const Text& s);
Text TrimLeftBlanks(const Text& s);
Text TrimRightBlanks(const Text& s);

// The pieces of `s` between occurrences of `sep`, in order. Empty pieces between adjacent
// separators are kept; nothing is produced after a final separator; an empty text gives an
// empty list. An empty separator gives the whole text as one piece.
std::vector<Text> SplitText(const Text& s, const Text& sep);

// The pieces joined, with `sep` between two pieces.
Text JoinText(const std::vector<Text>& pieces, const Text& sep);

// Every occurrence of `from` replaced by `to`, left to right, never inside a two-byte
// character. An empty `from` leaves the text unchanged.
Text ReplaceAll(const Text& s, const Text& from, const Text& to, bool ignore_case = false);

bool StartsWith(const Text& s, const Text& prefix);  // byte-wise, case-sensitive
bool EndsWith(const Text& s, const Text& suffix);    // byte-wise, case-sensitive

// ASCII letters converted; two-byte characters (including their second bytes) unchanged.
Text AsciiLower(const Text& s);
Text AsciiUpper(const Text& s);

// Equal when equal after AsciiLower.
bool EqualsIgnoreCase(const Text& a, const Text& b);

// Equal when equal with ASCII letters lowered, unit by unit: for names that are ASCII (header
// names, schemes, codings) in bytes or UTF-16.
template <typename Char>
bool SameAsciiName(std::basic_string_view<Char> a,
                   std::type_identity_t<std::basic_string_view<Char>> b) {
    if (a.size() != b.size())
        return false;
    auto lower = [](Char c) { return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// The decimal text of `value`.
Text DecimalText(long long value);
