// A block of read-only data carried inside the program (see cmake/Embed.cmake).
#pragma once

#include <cstddef>

struct EmbeddedBlob {
    const unsigned char* data;
    std::size_t size;
};
