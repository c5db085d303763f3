#include "script/js_pattern.h"

namespace {

// ECMAScript line terminators, as the body of a character class.
constexpr char16_t kNotTerminator[] = u"[^\n\r\u2028\u2029]";
constexpr char16_t kLineStart[] = u"(?<![^\n\r\u2028\u2029])";
constexpr char16_t kLineEnd[] = u"(?![^\n\r\u2028\u2029])";

bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Letters that have a meaning after a backslash in an ECMAScript pattern.
bool IsJsEscapeLetter(char16_t c, bool inClass) {
    switch (c) {
        case u'd':
        case u'D':
        case u's':
        case u'S':
        case u'w':
        case u'W':
        case u'f':
        case u'n':
        case u'r':
        case u't':
        case u'c':
        case u'x':
        case u'u':
        case u'b':
            return true;
        case u'B':
        case u'k':
            return !inClass;
        default:
            return false;
    }
}

}  // namespace

std::u16string TranslateJsPattern(std::u16string_view p, bool multi_line) {
    std::u16string out;
    out.reserve(p.size() + 16);
    bool inClass = false;
    for (std::size_t i = 0; i < p.size();) {
        char16_t c = p[i];
        if (c == u'\\') {
            if (i + 1 >= p.size()) {
                out += c;  // a lone trailing backslash: PCRE2 rejects it too
                break;
            }
            char16_t d = p[i + 1];
            if (d == u'v') {
                out += u"\\x0b";
            } else if (IsAsciiLetter(d) && !IsJsEscapeLetter(d, inClass)) {
                out += d;
            } else {
                out += c;
                out += d;
            }
            i += 2;
            continue;
        }
        if (inClass) {
            if (c == u']')
                inClass = false;
            if (c == u'[')
                out += u"\\[";
            else
                out += c;
            ++i;
            continue;
        }
        switch (c) {
            case u'[':
                out += c;
                ++i;
                if (i < p.size() && p[i] == u'^')
                    out += p[i++];
                // "[]" and "[^]": the bracket closes the class at once.
                if (i < p.size() && p[i] == u']')
                    out += p[i++];
                else
                    inClass = true;
                continue;
            case u'.':
                out += kNotTerminator;
                break;
            case u'^':
                if (multi_line)
                    out += kLineStart;
                else
                    out += c;
                break;
            case u'$':
                if (multi_line)
                    out += kLineEnd;
                else
                    out += c;
                break;
            default:
                out += c;
        }
        ++i;
    }
    return out;
}
