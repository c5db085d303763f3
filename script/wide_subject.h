// A GBK text together with its UTF-16 form, mapping offsets found in the UTF-16 text back to
// exact byte offsets in the GBK text. A subject can be a slice of another one, sharing its
// conversion.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/types.h"

class WideSubject {
  public:
    WideSubject() = default;

    // Converts with code page 936. Each two-byte character and each single byte normally gives
    // one UTF-16 unit; when the converter disagrees (unassigned codes, stray lead bytes) the
    // characters concerned are converted on their own so the offsets stay exact.
    static WideSubject Make(const Text& gbk);

    // Bytes [begin, end) of this subject, both character boundaries of it, as Make would give
    // them alone. Shares this subject's conversion.
    WideSubject Slice(std::size_t begin, std::size_t end) const;

    std::string_view Bytes() const;
    std::u16string_view Wide() const;
    // The byte offset of the character that gave UTF-16 unit `unit` (Wide().size() gives
    // Bytes().size()).
    std::size_t ByteOffset(std::size_t unit) const;

    struct Storage;

  private:
    std::shared_ptr<const Storage> storage_;
    std::size_t unitBegin_ = 0;
    std::size_t unitEnd_ = 0;
    std::size_t byteBegin_ = 0;
    std::size_t byteEnd_ = 0;
};
