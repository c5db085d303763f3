// Basic value types shared by every subsystem.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A text: GBK (code page 936) bytes. Multi-byte characters start with a byte >= 0x80.
using Text = std::string;

// A length-counted block of bytes (pictures, downloads, HTTP bodies).
using Bytes = std::vector<std::uint8_t>;

// A colour as the window system stores it: 0x00BBGGRR.
using Colour = std::uint32_t;

inline Text BytesToText(const Bytes& bytes) {
    // A byte array read as text ends at its first zero byte.
    std::size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0)
        ++n;
    return Text(reinterpret_cast<const char*>(bytes.data()), n);
}

inline Bytes TextToBytes(const Text& text) {
    return Bytes(text.begin(), text.end());
}
