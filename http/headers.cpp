#include "http/headers.h"

#include <vector>

#include "core/text.h"

namespace {

const char kLineBreak[] = "\r\n";
const char kCookieSeparator[] = "; ";

// Upper-cases the first letter of the name and the first letter after every "-"; every other
// byte stays as it is.
Text CapitalizeNamePieces(const Text& name) {
    Text out = CapitalizeFirst(name);
    for (std::size_t i = 0; i < out.size();) {
        std::size_t len = CharLengthAt(out, i);
        if (len == 1 && out[i] == '-' && i + 1 < out.size())
            out = out.substr(0, i + 1) + CapitalizeFirst(out.substr(i + 1));
        i += len;
    }
    return out;
}

// Trims the jar and makes a final ";" a full separator, so that splitting at "; " gives the
// cookies without the trailing ";".
std::vector<Text> CookiesOf(const Text& jar) {
    Text trimmed = TrimBlanks(jar);
    if (!trimmed.empty() && trimmed.back() == ';')
        trimmed += ' ';
    std::vector<Text> cookies;
    for (Text& cookie : SplitText(trimmed, kCookieSeparator)) {
        // An empty piece ("a=1; ; b=2") is no cookie; sending it back would only garble the
        // Cookie line.
        if (!TrimBlanks(cookie).empty())
            cookies.push_back(std::move(cookie));
    }
    return cookies;
}

}  // namespace

Text CapitalizeFirst(const Text& s) {
    Text out = s;
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z')
        out[0] = static_cast<char>(out[0] - 'a' + 'A');
    return out;
}

Text NormalizeHeaderNames(const Text& block) {
    Text out;
    for (const Text& line : SplitText(block, kLineBreak)) {
        long colon = FindText(line, ":");
        if (colon < 0)
            continue;
        std::size_t nameLength = static_cast<std::size_t>(colon - 1);
        out += CapitalizeNamePieces(line.substr(0, nameLength));
        out.append(line, nameLength, Text::npos);
        out += kLineBreak;
    }
    if (EndsWith(out, kLineBreak))
        out.resize(out.size() - 2);
    return out;
}

Text HeaderValue(const Text& block, const Text& name) {
    for (const Text& line : SplitText(block, kLineBreak)) {
        if (StartsWith(line, name))
            return TextAfter(line, name + ": ");
    }
    return Text();
}

Text TextAfter(const Text& s, const Text& marker) {
    long at = FindText(s, marker);
    if (at < 0)
        return Text();
    return s.substr(static_cast<std::size_t>(at - 1) + marker.size());
}

Text TextBefore(const Text& s, const Text& marker) {
    long at = FindText(s, marker);
    if (at < 0)
        return Text();
    return s.substr(0, static_cast<std::size_t>(at - 1));
}

Text TextBetween(const Text& s, const Text& left, const Text& right) {
    const Text quote = "#引号";
    Text l = ReplaceAll(left, quote, "\"");
    Text r = ReplaceAll(right, quote, "\"");
    long leftAt = FindText(s, l);
    if (leftAt < 0)
        return Text();
    std::size_t begin = static_cast<std::size_t>(leftAt - 1) + l.size();
    long rightAt = FindText(s, r, static_cast<long>(begin) + 1);
    if (rightAt < 0)
        return Text();
    return s.substr(begin, static_cast<std::size_t>(rightAt - 1) - begin);
}

Text CookieName(const Text& cookie) {
    long eq = FindText(cookie, "=");
    return TrimBlanks(eq < 0 ? cookie : cookie.substr(0, static_cast<std::size_t>(eq - 1)));
}

Text MergeCookies(Text& old_jar, const Text& new_jar) {
    std::vector<Text> oldCookies = CookiesOf(old_jar);
    std::vector<Text> merged = CookiesOf(new_jar);
    for (const Text& cookie : oldCookies) {
        Text name = CookieName(cookie);
        bool mentioned = false;
        for (const Text& fresh : merged) {
            if (CookieName(fresh) == name) {
                mentioned = true;
                break;
            }
        }
        if (!mentioned)
            merged.push_back(cookie);
    }
    std::vector<Text> kept;
    for (const Text& cookie : merged) {
        if (!EndsWith(cookie, "=deleted"))
            kept.push_back(cookie);
    }
    old_jar = JoinUnique(JoinText(kept, kCookieSeparator), kCookieSeparator);
    return old_jar;
}

Text JoinUnique(const Text& s, const Text& sep) {
    std::vector<Text> kept;
    for (const Text& piece : SplitText(s, sep)) {
        bool seen = false;
        for (const Text& k : kept) {
            if (k == piece) {
                seen = true;
                break;
            }
        }
        if (!seen)
            kept.push_back(piece);
    }
    return JoinText(kept, sep);
}
