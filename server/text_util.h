// Text helpers of the catalogue service: code-page conversion, form and URL decoding, HTML.
// Strings are UTF-8 inside the service; pages go out in GBK (or a requested charset).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lzf::server {

// Converts between charsets with iconv. Returns nothing when the text cannot be converted;
// with substitute set, unconvertible characters become '?' instead.
std::optional<std::string> ConvertCharset(const std::string& text,
                                          const std::string& from,
                                          const std::string& to,
                                          bool substitute = false);

// UTF-8 to GBK with '?' for what GBK lacks.
std::string Utf8ToGbkLossy(const std::string& utf8);

// True when every character of the UTF-8 text exists in GBK.
bool FitsGbk(const std::string& utf8);

// Decodes %XX escapes (and '+' as a blank when plus_is_space); malformed escapes stay as they are.
std::string PercentDecode(const std::string& s, bool plus_is_space = true);

// key=value pairs of a query string or urlencoded form, decoded, in order.
std::vector<std::pair<std::string, std::string>> ParseForm(const std::string& s);

// Escapes & < > " for HTML text and attributes.
std::string HtmlEscape(const std::string& s);

// Escapes a string for a JSON string literal (without the quotes).
std::string JsonEscape(const std::string& s);

// ASCII lower case.
std::string Lower(std::string s);

// Parses a decimal integer, allowing surrounding blanks and a sign; nothing for anything else
// or for values that overflow 64 bits.
std::optional<long long> ParseInteger(const std::string& s);

// Parses "#RRGGBB", "RRGGBB" or "#RGB" into 0xRRGGBB.
std::optional<unsigned> ParseColour(const std::string& s);

}  // namespace lzf::server
