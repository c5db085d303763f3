// Regular expressions over GBK texts, with ECMAScript semantics for the constructs the
// program's patterns use. The subject is converted to UTF-16 once per search and matched
// there with PCRE2 (JIT when available), so a pattern never matches inside a two-byte
// character; every text handed back is cut out of the original GBK subject byte for byte.
#pragma once

#include <cstddef>
#include <memory>

#include "core/types.h"

class WideSubject;

// A subject larger than this is refused (Search gives false): matching holds it several times
// over, which a 32-bit process cannot afford for a hostile page.
constexpr std::size_t kMaxRegexSubjectBytes = 64u << 20;

class RegexObject {
  public:
    RegexObject();
    ~RegexObject();
    // Copies are cheap and independent: they share the immutable result of the last search.
    RegexObject(const RegexObject&);
    RegexObject& operator=(const RegexObject&);
    RegexObject(RegexObject&&) noexcept;
    RegexObject& operator=(RegexObject&&) noexcept;

    // Runs the search and keeps its result, forgetting any earlier one. Returns false when the
    // pattern is rejected (or matching hits an engine limit: a subject over
    // kMaxRegexSubjectBytes, memory running out); then every reader gives "" or 0.
    // A search that finds nothing returns true with 0 matches. With `quote_placeholder`
    // every "#引号" in the pattern stands for a double quote.
    bool Search(const Text& pattern,
                const Text& subject,
                bool case_sensitive = false,
                bool multi_line = true,
                bool global = true,
                bool quote_placeholder = false);

    // The pattern of the last successful search (after the placeholder replacement).
    Text GetPattern() const;
    // The subject with the matches replaced (every match with Global, else the first).
    // "$1".."$99", "$&", "$`", "$'" and "$$" work as in ECMAScript. "" without a result.
    Text Replace(const Text& replacement) const;
    int MatchCount() const;
    // Match numbers count from 1. `position`, when given, receives the 0-based byte offset of
    // the match in the GBK subject, or -1 when there is no such match.
    Text MatchText(int match, long* position = nullptr) const;
    // Group numbers count from 1. A group that did not take part gives "" (position -1);
    // `position` is the group's own 0-based byte offset in the subject.
    Text SubMatchText(int match, int group, long* position = nullptr) const;
    // The number of capture groups of the first match; 0 when there is no match.
    int SubMatchCount() const;

    struct Result;

  private:
    bool SearchConverted(const Text& pattern,
                         const Text& subject,
                         bool case_sensitive,
                         bool multi_line,
                         bool global,
                         bool quote_placeholder,
                         std::shared_ptr<const Result> previous);
    std::shared_ptr<const WideSubject> Convert(const Text& subject, const Result* previous) const;

    std::shared_ptr<const Result> result_;
    // The converted subject of the last search, reused when the next one has the same text.
    std::shared_ptr<const WideSubject> lastSubject_;
};
