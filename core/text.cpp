#include "core/text.h"

#include <cstdio>

namespace {

unsigned char Byte(const Text& s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `needle` stands at index `at` of `s`. Both are walked character by character so
// that, without regard to case, only single-byte letters are folded and second bytes of
// two-byte characters are compared as they are.
bool MatchesAt(const Text& s, std::size_t at, const Text& needle, bool ignore_case) {
    if (at + needle.size() > s.size())
        return false;
    if (!ignore_case)
        return s.compare(at, needle.size(), needle) == 0;
    std::size_t i = 0;
    while (i < needle.size()) {
        if (IsLeadByte(Byte(needle, i)) && i + 1 < needle.size()) {
            if (s[at + i] != needle[i] || s[at + i + 1] != needle[i + 1])
                return false;
            i += 2;
        } else {
            if (LowerAscii(s[at + i]) != LowerAscii(needle[i]))
                return false;
            ++i;
        }
    }
    return true;
}

// A search that walks the character boundaries of one text once, for callers that search it
// again and again from left to right (splitting, replacing): each search goes on from the
// boundary where the previous one stopped, so the whole walk is linear in the text.
class BoundaryWalk {
  public:
    explicit BoundaryWalk(const Text& s) : s_(s) {}

    // Index (0-based) of the first match at a character start at or after `from`, or npos.
    // `from` must not be less than the `from` of the previous call.
    std::size_t Find(const Text& needle, std::size_t from, bool ignore_case) {
        if (needle.empty() || needle.size() > s_.size())
            return Text::npos;
        const std::size_t last = s_.size() - needle.size();
        if (!ignore_case) {
            // Candidates come from the library search; a candidate counts only when the walk
            // over the boundaries lands on it.
            for (std::size_t at = s_.find(needle, from); at != Text::npos && at <= last;
                 at = s_.find(needle, at + 1)) {
                WalkTo(at);
                if (boundary_ == at)
                    return at;
            }
            return Text::npos;
        }
        WalkTo(from);
        for (; boundary_ <= last; boundary_ += CharLengthAt(s_, boundary_)) {
            if (MatchesAt(s_, boundary_, needle, true))
                return boundary_;
        }
        return Text::npos;
    }

  private:
    // Advances the walk to the first character start at or after `at`.
    void WalkTo(std::size_t at) {
        while (boundary_ < at && boundary_ < s_.size())
            boundary_ += CharLengthAt(s_, boundary_);
    }

    const Text& s_;
    std::size_t boundary_ = 0;
};

// Index (0-based) of the first match at or after index `from`, or npos.
std::size_t FindIndex(const Text& s,
                      const Text& needle,
                      std::size_t from,
                      bool ignore_case = false) {
    return BoundaryWalk(s).Find(needle, from, ignore_case);
}

bool IsBlankAt(const Text& s, std::size_t i, std::size_t len) {
    if (len == 1)
        return s[i] == ' ';
    return Byte(s, i) == 0xA1 && Byte(s, i + 1) == 0xA1;
}

}  // namespace

long FindText(const Text& s, const Text& needle, long start, bool ignore_case) {
    if (start < 1)
        start = 1;
    std::size_t at = FindIndex(s, needle, static_cast<std::size_t>(start - 1), ignore_case);
    return at == Text::npos ? -1 : static_cast<long>(at + 1);
}

long FindLastText(const Text& s, const Text& needle, bool ignore_case) {
    long last = -1;
    if (needle.empty() || needle.size() > s.size())
        return last;
    for (std::size_t i = 0; i + needle.size() <= s.size(); i += CharLengthAt(s, i)) {
        if (MatchesAt(s, i, needle, ignore_case))
            last = static_cast<long>(i + 1);
    }
    return last;
}

Text TrimLeftBlanks(const Text& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t len = CharLengthAt(s, i);
        if (!IsBlankAt(s, i, len))
            break;
        i += len;
    }
    return s.substr(i);
}

Text TrimRightBlanks(const Text& s) {
    // Walk forward: only a forward walk knows where the characters start.
    std::size_t end = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = CharLengthAt(s, i);
        if (!IsBlankAt(s, i, len))
            end = i + len;
        i += len;
    }
    return s.substr(0, end);
}

Text TrimBlanks(const Text& s) {
    return TrimRightBlanks(TrimLeftBlanks(s));
}

std::vector<Text> SplitText(const Text& s, const Text& sep) {
    std::vector<Text> pieces;
    if (s.empty())
        return pieces;
    if (sep.empty()) {
        pieces.push_back(s);
        return pieces;
    }
    BoundaryWalk walk(s);
    std::size_t from = 0;
    while (from < s.size()) {
        std::size_t at = walk.Find(sep, from, false);
        if (at == Text::npos) {
            pieces.push_back(s.substr(from));
            break;
        }
        pieces.push_back(s.substr(from, at - from));
        from = at + sep.size();
    }
    return pieces;
}

Text JoinText(const std::vector<Text>& pieces, const Text& sep) {
    Text out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            out += sep;
        out += pieces[i];
    }
    return out;
}

Text ReplaceAll(const Text& s, const Text& from, const Text& to, bool ignore_case) {
    if (from.empty())
        return s;
    Text out;
    BoundaryWalk walk(s);
    std::size_t pos = 0;
    for (;;) {
        std::size_t at = walk.Find(from, pos, ignore_case);
        if (at == Text::npos)
            break;
        out.append(s, pos, at - pos);
        out += to;
        pos = at + from.size();
    }
    out.append(s, pos, Text::npos);
    return out;
}

bool StartsWith(const Text& s, const Text& prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const Text& s, const Text& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

namespace {

template <typename Convert>
Text MapSingleBytes(const Text& s, Convert convert) {
    Text out = s;
    for (std::size_t i = 0; i < out.size();) {
        std::size_t len = CharLengthAt(out, i);
        if (len == 1 && !IsLeadByte(Byte(out, i)))
            out[i] = convert(out[i]);
        i += len;
    }
    return out;
}

}  // namespace

Text AsciiLower(const Text& s) {
    return MapSingleBytes(s, LowerAscii);
}

Text AsciiUpper(const Text& s) {
    return MapSingleBytes(
        s, [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
}

bool EqualsIgnoreCase(const Text& a, const Text& b) {
    return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

Text DecimalText(long long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld", value);
    return buffer;
}
