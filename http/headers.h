// Request header blocks and the cookie jar, kept as GBK texts. A header block is lines of the
// form "Name: value" separated by CR LF; a cookie jar is "name=value" pairs separated by "; ".
// All searches are case-sensitive and GBK-aware.
#pragma once

#include "core/types.h"

// Re-capitalises the name of every header line ("content-type: x" -> "Content-Type: x").
// Lines without ":" (blank lines included) are dropped; no CR LF after the last line.
Text NormalizeHeaderNames(const Text& block);

// The first byte upper-cased when it is an ASCII letter, the rest unchanged.
Text CapitalizeFirst(const Text& s);

// The value of the first line that starts with `name` (exact, case-sensitive): the text after
// "name: " in that line. Empty when no line starts with `name`.
Text HeaderValue(const Text& block, const Text& name);

// The text after / before the first occurrence of `marker`; empty when it does not occur.
Text TextAfter(const Text& s, const Text& marker);
Text TextBefore(const Text& s, const Text& marker);

// The text between the first `left` and the first `right` after it; empty when either is
// missing. "#引号" in either marker stands for a double quote.
Text TextBetween(const Text& s, const Text& left, const Text& right);

// Merges the cookies of `new_jar` into `old_jar`: cookies of `new_jar` come first and replace
// the old cookies of the same name (exact comparison); old cookies not mentioned follow in
// their order; deletion markers ("name=deleted") are dropped. The result is stored in
// `old_jar` and returned.
Text MergeCookies(Text& old_jar, const Text& new_jar);

// The text before the first "=" (the whole cookie when there is none), trimmed of blanks.
Text CookieName(const Text& cookie);

// The pieces of `s` split at `sep` with repeated pieces (exact comparison) dropped, joined
// again with `sep`.
Text JoinUnique(const Text& s, const Text& sep);
