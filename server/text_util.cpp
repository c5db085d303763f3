#include "server/text_util.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <climits>

namespace lzf::server {

std::optional<std::string> ConvertCharset(const std::string& text,
                                          const std::string& from,
                                          const std::string& to,
                                          bool substitute) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    out.reserve(text.size() * 2 + 16);
    char* in = const_cast<char*>(text.data());
    size_t in_left = text.size();
    char buffer[4096];
    bool ok = true;
    while (in_left > 0) {
        char* o = buffer;
        size_t o_left = sizeof buffer;
        size_t r = iconv(cd, &in, &in_left, &o, &o_left);
        out.append(buffer, sizeof buffer - o_left);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            if (!substitute) {
                ok = false;
                break;
            }
            // Skip one input character (a whole UTF-8 sequence when the input is UTF-8).
            size_t skip = 1;
            if (Lower(from) == "utf-8") {
                unsigned char c = static_cast<unsigned char>(*in);
                skip = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                if (skip > in_left)
                    skip = in_left;
            }
            in += skip;
            in_left -= skip;
            out += '?';
        }
    }
    if (ok) {
        char* o = buffer;
        size_t o_left = sizeof buffer;
        iconv(cd, nullptr, nullptr, &o, &o_left);
        out.append(buffer, sizeof buffer - o_left);
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return out;
}

std::string Utf8ToGbkLossy(const std::string& utf8) {
    return ConvertCharset(utf8, "UTF-8", "GBK", true).value_or(std::string());
}

bool FitsGbk(const std::string& utf8) {
    return ConvertCharset(utf8, "UTF-8", "GBK").has_value();
}

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
}  // namespace

std::string PercentDecode(const std::string& s, bool plus_is_space) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '%' && i + 2 < s.size()) {
            int hi = HexValue(s[i + 1]);
            int lo = HexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += (c == '+' && plus_is_space) ? ' ' : c;
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> ParseForm(const std::string& s) {
    std::vector<std::pair<std::string, std::string>> out;
    size_t pos = 0;
    while (pos <= s.size()) {
        size_t amp = s.find('&', pos);
        std::string item = s.substr(pos, amp == std::string::npos ? std::string::npos : amp - pos);
        if (!item.empty()) {
            size_t eq = item.find('=');
            if (eq == std::string::npos)
                out.emplace_back(PercentDecode(item), "");
            else
                out.emplace_back(PercentDecode(item.substr(0, eq)),
                                 PercentDecode(item.substr(eq + 1)));
        }
        if (amp == std::string::npos)
            break;
        pos = amp + 1;
    }
    return out;
}

std::string HtmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string JsonEscape(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::optional<long long> ParseInteger(const std::string& s) {
    size_t i = 0, n = s.size();
    while (i < n && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    while (n > i && (s[n - 1] == ' ' || s[n - 1] == '\t'))
        --n;
    bool negative = false;
    if (i < n && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    if (i == n)
        return std::nullopt;
    long long value = 0;
    for (; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return std::nullopt;
        int d = s[i] - '0';
        if (value > (LLONG_MAX - d) / 10)
            return std::nullopt;
        value = value * 10 + d;
    }
    return negative ? -value : value;
}

std::optional<unsigned> ParseColour(const std::string& s) {
    std::string hex = s;
    if (!hex.empty() && hex[0] == '#')
        hex = hex.substr(1);
    if (hex.size() == 3)
        hex = std::string{hex[0], hex[0], hex[1], hex[1], hex[2], hex[2]};
    if (hex.size() != 6)
        return std::nullopt;
    unsigned value = 0;
    for (char c : hex) {
        int d = HexValue(c);
        if (d < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(d);
    }
    return value;
}

}  // namespace lzf::server
