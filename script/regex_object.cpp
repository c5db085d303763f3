#include "script/regex_object.h"

#include <pcre2.h>

#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "core/codepage.h"
#include "script/js_pattern.h"
#include "script/wide_subject.h"

namespace {

constexpr std::uint32_t kUnset = std::numeric_limits<std::uint32_t>::max();
constexpr char kQuotePlaceholder[] = "#引号";
// Below this size converting a subject is cheaper than looking for it in the last result.
constexpr std::size_t kSliceMinimum = 4096;

// True when the pattern holds a letter beyond ASCII that has another case (Latin, Greek,
// Cyrillic, Roman numerals, circled and full-width letters ...) or an escape that can name one.
bool NeedsUnicodeCase(const std::u16string& pattern) {
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char16_t c = pattern[i];
        if (c == u'\\' && i + 1 < pattern.size() &&
            (pattern[i + 1] == u'u' || pattern[i + 1] == u'x'))
            return true;
        if ((c >= 0x00C0 && c <= 0x058F) || (c >= 0x10A0 && c <= 0x10FF) ||
            (c >= 0x13A0 && c <= 0x13FF) || (c >= 0x1C80 && c <= 0x1FFF) ||
            (c >= 0x2100 && c <= 0x218F) || (c >= 0x24B6 && c <= 0x24E9) ||
            (c >= 0x2C00 && c <= 0x2D2F) || (c >= 0xA640 && c <= 0xA7FF) ||
            (c >= 0xAB70 && c <= 0xABBF) || (c >= 0xFF21 && c <= 0xFF5A) || c == 0x00B5)
            return true;
    }
    return false;
}

// A compiled pattern with its match data; frees both.
class Compiled {
  public:
    ~Compiled() {
        if (matchData_)
            pcre2_match_data_free(matchData_);
        if (context_)
            pcre2_match_context_free(context_);
        if (jitStack_)
            pcre2_jit_stack_free(jitStack_);
        if (code_)
            pcre2_code_free(code_);
    }

    bool Compile(const std::u16string& pattern, bool caseless) {
        std::uint32_t options = PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
                                PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY;
        if (caseless) {
            options |= PCRE2_CASELESS;
            // Unicode case folding costs matching speed; plain mode folds ASCII, which is also
            // what ECMAScript does for an ASCII letter ("k" never matches the Kelvin sign).
            if (NeedsUnicodeCase(pattern))
                options |= PCRE2_UTF;
        }
        utf_ = (options & PCRE2_UTF) != 0;
        int error = 0;
        PCRE2_SIZE errorOffset = 0;
        code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options,
                              &error, &errorOffset, nullptr);
        if (!code_)
            return false;
        pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE);  // the interpreter runs when JIT cannot
        matchData_ = pcre2_match_data_create_from_pattern(code_, nullptr);
        std::uint32_t groups = 0;
        pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &groups);
        groups_ = static_cast<int>(groups);
        return matchData_ != nullptr;
    }

    int Groups() const { return groups_; }
    bool Utf() const { return utf_; }

    // Returns the pcre2_match result; on success Ovector() holds the offsets.
    int Match(std::u16string_view subject, std::size_t start, std::uint32_t options) {
        static const char16_t kEmpty[] = u"";
        if (subject.empty())
            subject = std::u16string_view(kEmpty, 0);
        int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                             start, options, matchData_, context_);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT && !jitStack_) {
            // Deeply backtracking patterns outgrow the default 32 KiB JIT stack.
            context_ = pcre2_match_context_create(nullptr);
            jitStack_ = pcre2_jit_stack_create(64 * 1024, 8 * 1024 * 1024, nullptr);
            if (!context_ || !jitStack_)
                return rc;
            pcre2_jit_stack_assign(context_, nullptr, jitStack_);
            rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                             start, options, matchData_, context_);
        }
        return rc;
    }

    const PCRE2_SIZE* Ovector() const { return pcre2_get_ovector_pointer(matchData_); }

  private:
    pcre2_code* code_ = nullptr;
    pcre2_match_data* matchData_ = nullptr;
    pcre2_match_context* context_ = nullptr;
    pcre2_jit_stack* jitStack_ = nullptr;
    int groups_ = 0;
    bool utf_ = false;
};

Text ReplacePlaceholder(const Text& pattern) {
    Text out;
    const Text placeholder = kQuotePlaceholder;
    std::size_t from = 0;
    for (;;) {
        std::size_t at = pattern.find(placeholder, from);
        if (at == Text::npos)
            break;
        out.append(pattern, from, at - from);
        out += '"';
        from = at + placeholder.size();
    }
    out.append(pattern, from, Text::npos);
    return out;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

struct RegexObject::Result {
    Text pattern;
    WideSubject subject;
    bool global = true;
    int groups = 0;
    std::size_t count = 0;
    // Per match, groups + 1 pairs of byte offsets (start, end) into the subject; kUnset for a
    // group that did not take part.
    std::vector<std::uint32_t> spans;

    const std::uint32_t* Span(std::size_t match, int group) const {
        return &spans[(match * (groups + 1) + group) * 2];
    }

    Text Cut(const std::uint32_t* span) const {
        if (span[0] == kUnset || span[1] < span[0])
            return Text();
        return Text(subject.Bytes().substr(span[0], span[1] - span[0]));
    }
};

namespace {

// The text of `group` (0: the whole match) of match number `match` (from 1).
Text ReadSpan(const RegexObject::Result* r, int match, int group, long* position) {
    if (position)
        *position = -1;
    if (!r || match < 1 || static_cast<std::size_t>(match) > r->count || group > r->groups)
        return Text();
    const std::uint32_t* span = r->Span(static_cast<std::size_t>(match - 1), group);
    if (span[0] == kUnset)
        return Text();
    if (position)
        *position = static_cast<long>(span[0]);
    return r->Cut(span);
}

}  // namespace

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject&) = default;
RegexObject& RegexObject::operator=(const RegexObject&) = default;
RegexObject::RegexObject(RegexObject&&) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&&) noexcept = default;

// The subject in UTF-16. Texts cut out of the previous result (the usual next subject when
// scraping: a section of the page) are taken from its conversion instead of converting again.
std::shared_ptr<const WideSubject> RegexObject::Convert(const Text& subject,
                                                        const Result* previous) const {
    if (lastSubject_ && lastSubject_->Bytes() == subject)
        return lastSubject_;
    if (previous && subject.size() >= kSliceMinimum) {
        const std::string_view whole = previous->subject.Bytes();
        for (std::size_t i = 0; i + 1 < previous->spans.size(); i += 2) {
            std::uint32_t b0 = previous->spans[i], b1 = previous->spans[i + 1];
            if (b0 != kUnset && b1 - b0 == subject.size() &&
                whole.substr(b0, subject.size()) == subject)
                return std::make_shared<const WideSubject>(previous->subject.Slice(b0, b1));
        }
    }
    return std::make_shared<const WideSubject>(WideSubject::Make(subject));
}

bool RegexObject::Search(const Text& pattern,
                         const Text& subject,
                         bool case_sensitive,
                         bool multi_line,
                         bool global,
                         bool quote_placeholder) {
    std::shared_ptr<const Result> previous = std::move(result_);
    result_.reset();
    // The subject is held several times over (its UTF-16 form, the offset map): a larger one,
    // which only a hostile page can be, is refused as an engine limit rather than risking the
    // memory of the whole process.
    if (subject.size() > kMaxRegexSubjectBytes)
        return false;
    try {
        return SearchConverted(pattern, subject, case_sensitive, multi_line, global,
                               quote_placeholder, std::move(previous));
    } catch (const std::bad_alloc&) {
        result_.reset();
        lastSubject_.reset();
        return false;
    }
}

bool RegexObject::SearchConverted(const Text& pattern,
                                  const Text& subject,
                                  bool case_sensitive,
                                  bool multi_line,
                                  bool global,
                                  bool quote_placeholder,
                                  std::shared_ptr<const Result> previous) {
    auto result = std::make_shared<Result>();
    result->pattern = quote_placeholder ? ReplacePlaceholder(pattern) : pattern;
    result->global = global;

    Compiled compiled;
    if (!compiled.Compile(TranslateJsPattern(codepage::ToWide(result->pattern), multi_line),
                          !case_sensitive))
        return false;
    result->groups = compiled.Groups();

    lastSubject_ = Convert(subject, previous.get());
    previous.reset();
    result->subject = *lastSubject_;
    const std::u16string_view wide = result->subject.Wide();
    const WideSubject& mapped = result->subject;

    const int pairs = result->groups + 1;
    std::size_t start = 0;
    std::uint32_t options = 0;
    while (start <= wide.size()) {
        int rc = compiled.Match(wide, start, options);
        if (rc == PCRE2_ERROR_NOMATCH)
            break;
        if (rc < 0)
            return false;  // an engine limit: no result rather than a partial one
        if (compiled.Utf())
            options = PCRE2_NO_UTF_CHECK;
        const PCRE2_SIZE* ov = compiled.Ovector();
        const std::size_t first = result->spans.size();
        result->spans.resize(first + 2 * pairs);
        std::uint32_t* out = &result->spans[first];
        for (int g = 0; g < pairs; ++g) {
            if (ov[2 * g] == PCRE2_UNSET || ov[2 * g + 1] == PCRE2_UNSET) {
                out[2 * g] = out[2 * g + 1] = kUnset;
            } else {
                out[2 * g] = static_cast<std::uint32_t>(mapped.ByteOffset(ov[2 * g]));
                out[2 * g + 1] = static_cast<std::uint32_t>(mapped.ByteOffset(ov[2 * g + 1]));
            }
        }
        ++result->count;
        if (!global)
            break;
        // Like lastIndex in ECMAScript: an empty match moves the next search one unit on.
        start = ov[1];
        if (ov[1] == ov[0]) {
            ++start;
            if (compiled.Utf() && start < wide.size() && (wide[start] & 0xFC00) == 0xDC00 &&
                (wide[start - 1] & 0xFC00) == 0xD800)
                ++start;
        }
    }
    result_ = std::move(result);
    return true;
}

Text RegexObject::GetPattern() const {
    return result_ ? result_->pattern : Text();
}

Text RegexObject::Replace(const Text& replacement) const {
    if (!result_)
        return Text();
    const Result& r = *result_;
    const std::string_view subject = r.subject.Bytes();
    Text out;
    out.reserve(subject.size());
    std::uint32_t copied = 0;
    for (std::size_t m = 0; m < r.count; ++m) {
        const std::uint32_t* whole = r.Span(m, 0);
        out.append(subject.substr(copied, whole[0] - copied));
        // "$" is never the second byte of a GBK character, so a byte scan finds every one.
        for (std::size_t i = 0; i < replacement.size(); ++i) {
            char c = replacement[i];
            if (c != '$' || i + 1 >= replacement.size()) {
                out += c;
                continue;
            }
            char d = replacement[i + 1];
            if (d == '$') {
                out += '$';
                ++i;
            } else if (d == '&') {
                out += r.Cut(whole);
                ++i;
            } else if (d == '`') {
                out.append(subject.substr(0, whole[0]));
                ++i;
            } else if (d == '\'') {
                out.append(subject.substr(whole[1]));
                ++i;
            } else if (IsDigit(d)) {
                int one = d - '0';
                int two = (i + 2 < replacement.size() && IsDigit(replacement[i + 2]))
                              ? one * 10 + (replacement[i + 2] - '0')
                              : -1;
                if (two >= 1 && two <= r.groups) {
                    out += r.Cut(r.Span(m, two));
                    i += 2;
                } else if (one >= 1 && one <= r.groups) {
                    out += r.Cut(r.Span(m, one));
                    i += 1;
                } else {
                    out += c;
                }
            } else {
                out += c;
            }
        }
        copied = whole[1];
    }
    out.append(subject.substr(copied));
    return out;
}

int RegexObject::MatchCount() const {
    return result_ ? static_cast<int>(result_->count) : 0;
}

Text RegexObject::MatchText(int match, long* position) const {
    return ReadSpan(result_.get(), match, 0, position);
}

Text RegexObject::SubMatchText(int match, int group, long* position) const {
    if (group < 1) {
        if (position)
            *position = -1;
        return Text();
    }
    return ReadSpan(result_.get(), match, group, position);
}

int RegexObject::SubMatchCount() const {
    return result_ && result_->count > 0 ? result_->groups : 0;
}
