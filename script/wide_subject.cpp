#include "script/wide_subject.h"

#include <algorithm>
#include <bit>

#include "core/codepage.h"

namespace {

// One mark (the byte offset of a unit) every kMarkStep units on the direct path.
constexpr std::size_t kMarkShift = 4;
constexpr std::size_t kMarkStep = std::size_t{1} << kMarkShift;

bool IsLead(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}

bool IsTrail(unsigned char b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// Length of the character that starts at byte i.
std::size_t CharLength(const Text& s, std::size_t i) {
    auto b = static_cast<unsigned char>(s[i]);
    if (IsLead(b) && i + 1 < s.size() && IsTrail(static_cast<unsigned char>(s[i + 1])))
        return 2;
    return 1;
}

struct Piece {
    std::uint32_t start = 0;  // byte offset in the subject
    std::uint32_t length = 0;
    std::uint32_t first = 0;  // its units in the pool
    std::uint32_t last = 0;
};

}  // namespace

struct WideSubject::Storage {
    Text bytes;
    std::u16string wide;
    // Direct: every unit is one character of one or two bytes; marks[k] is the byte offset of
    // unit k * kMarkStep and bit j of twoByte[k] says whether the unit after that many more is
    // a two-byte character. Otherwise offsets[u] is the byte offset of unit u, with
    // bytes.size() at the end.
    bool direct = true;
    std::vector<std::uint32_t> marks;
    std::vector<std::uint16_t> twoByte;
    std::vector<std::uint32_t> offsets;

    std::size_t ByteOffset(std::size_t unit) const {
        if (!direct)
            return offsets[unit];
        std::size_t group = unit >> kMarkShift;
        unsigned before = static_cast<unsigned>(unit & (kMarkStep - 1));
        return marks[group] + before + std::popcount(twoByte[group] & ((1u << before) - 1));
    }

    bool ConvertDirectly();
    void ConvertPieceByPiece();
};

// ASCII is copied, the well-formed two-byte characters are converted in one call, and the
// result is accepted when it gives one unit per character.
bool WideSubject::Storage::ConvertDirectly() {
    const std::size_t n = bytes.size();
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    std::string pairs;
    pairs.reserve(n);
    wide.resize(n);
    marks.reserve(n / kMarkStep + 2);
    twoByte.assign(n / kMarkStep + 2, 0);
    std::size_t units = 0;
    for (std::size_t i = 0; i < n;) {
        if ((units & (kMarkStep - 1)) == 0)
            marks.push_back(static_cast<std::uint32_t>(i));
        if (b[i] < 0x80) {
            wide[units++] = b[i];
            ++i;
        } else if (IsLead(b[i]) && i + 1 < n && IsTrail(b[i + 1])) {
            pairs.push_back(static_cast<char>(b[i]));
            pairs.push_back(static_cast<char>(b[i + 1]));
            twoByte[units >> kMarkShift] |=
                static_cast<std::uint16_t>(1u << (units & (kMarkStep - 1)));
            wide[units++] = 0;
            i += 2;
        } else {
            return false;
        }
    }
    if ((units & (kMarkStep - 1)) == 0)
        marks.push_back(static_cast<std::uint32_t>(n));
    wide.resize(units);
    if (pairs.empty())
        return true;
    std::u16string converted = codepage::ToWide(pairs);
    if (converted.size() * 2 != pairs.size())
        return false;
    std::size_t k = 0;
    for (std::size_t i = 0, u = 0; i < n; ++u) {
        if (b[i] >= 0x80) {
            wide[u] = converted[k++];
            i += 2;
        } else {
            ++i;
        }
    }
    return true;
}

namespace {

// Converts pieces [begin, end) of two-byte characters; where the converter does not give
// exactly one unit per character, halves the run until each character stands alone.
void ConvertPairs(const Text& s,
                  std::vector<Piece>& pieces,
                  const std::vector<std::size_t>& pairIndex,
                  std::size_t begin,
                  std::size_t end,
                  std::u16string& pool) {
    std::string run;
    run.reserve((end - begin) * 2);
    for (std::size_t k = begin; k < end; ++k)
        run.append(s, pieces[pairIndex[k]].start, 2);
    std::u16string wide = codepage::ToWide(run);
    if (wide.size() == end - begin) {
        for (std::size_t k = begin; k < end; ++k) {
            Piece& p = pieces[pairIndex[k]];
            p.first = static_cast<std::uint32_t>(pool.size());
            pool.push_back(wide[k - begin]);
            p.last = static_cast<std::uint32_t>(pool.size());
        }
        return;
    }
    if (end - begin == 1) {
        Piece& p = pieces[pairIndex[begin]];
        p.first = static_cast<std::uint32_t>(pool.size());
        pool += wide;
        p.last = static_cast<std::uint32_t>(pool.size());
        return;
    }
    std::size_t mid = begin + (end - begin) / 2;
    ConvertPairs(s, pieces, pairIndex, begin, mid, pool);
    ConvertPairs(s, pieces, pairIndex, mid, end, pool);
}

}  // namespace

// The careful path: every non-ASCII character is given the units the converter makes of it
// alone (runs of well-formed pairs are still converted together where that agrees).
void WideSubject::Storage::ConvertPieceByPiece() {
    const Text& s = bytes;
    std::vector<Piece> pieces;
    std::vector<std::size_t> pairIndex;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = CharLength(s, i);
        if (static_cast<unsigned char>(s[i]) >= 0x80) {
            if (len == 2)
                pairIndex.push_back(pieces.size());
            pieces.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(len)});
        }
        i += len;
    }
    std::u16string pool;
    if (!pairIndex.empty())
        ConvertPairs(s, pieces, pairIndex, 0, pairIndex.size(), pool);
    for (Piece& p : pieces) {
        if (p.length != 1)
            continue;
        std::u16string one = codepage::ToWide(std::string_view(s).substr(p.start, 1));
        p.first = static_cast<std::uint32_t>(pool.size());
        pool += one;
        p.last = static_cast<std::uint32_t>(pool.size());
    }

    direct = false;
    marks.clear();
    twoByte.clear();
    wide.clear();
    offsets.clear();
    std::size_t next = 0;
    for (std::size_t i = 0; i < s.size();) {
        if (next < pieces.size() && pieces[next].start == i) {
            const Piece& p = pieces[next++];
            for (std::uint32_t u = p.first; u < p.last; ++u) {
                wide.push_back(pool[u]);
                offsets.push_back(p.start);
            }
            i += p.length;
        } else {
            wide.push_back(static_cast<unsigned char>(s[i]));
            offsets.push_back(static_cast<std::uint32_t>(i));
            ++i;
        }
    }
    offsets.push_back(static_cast<std::uint32_t>(s.size()));
}

WideSubject WideSubject::Make(const Text& gbk) {
    auto storage = std::make_shared<Storage>();
    storage->bytes = gbk;
    if (!storage->ConvertDirectly())
        storage->ConvertPieceByPiece();
    WideSubject out;
    out.unitEnd_ = storage->wide.size();
    out.byteEnd_ = storage->bytes.size();
    out.storage_ = std::move(storage);
    return out;
}

WideSubject WideSubject::Slice(std::size_t begin, std::size_t end) const {
    WideSubject out = *this;
    // The first units at or after each byte boundary (a character that gave no unit has
    // none to start at).
    auto unitAt = [this](std::size_t byte) {
        std::size_t lo = 0, hi = unitEnd_ - unitBegin_;
        while (lo < hi) {
            std::size_t mid = lo + (hi - lo) / 2;
            if (ByteOffset(mid) < byte)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    out.unitBegin_ = unitBegin_ + unitAt(begin);
    out.unitEnd_ = unitBegin_ + unitAt(end);
    out.byteBegin_ = byteBegin_ + begin;
    out.byteEnd_ = byteBegin_ + end;
    return out;
}

std::string_view WideSubject::Bytes() const {
    if (!storage_)
        return {};
    return std::string_view(storage_->bytes).substr(byteBegin_, byteEnd_ - byteBegin_);
}

std::u16string_view WideSubject::Wide() const {
    if (!storage_)
        return {};
    return std::u16string_view(storage_->wide).substr(unitBegin_, unitEnd_ - unitBegin_);
}

std::size_t WideSubject::ByteOffset(std::size_t unit) const {
    if (unitBegin_ + unit >= unitEnd_)
        return byteEnd_ - byteBegin_;
    return storage_->ByteOffset(unitBegin_ + unit) - byteBegin_;
}
