// Small synthetic images for the loader tests, PE32 i386 or PE32+ x86-64: one or more sections
// placed at given RVAs, data directories set by hand, everything else left at sensible
// defaults.
#pragma once

#include <cstdint>
#include <vector>

#include "core/types.h"
#include "decor/pe_image.h"

struct SyntheticSection {
    std::uint32_t rva = 0x1000;
    std::uint32_t virtualSize = 0;  // 0: the data's size
    Bytes data;
};

struct SyntheticImage {
    std::uint16_t machine = 0x14C;
    bool pe32Plus = false;                   // the optional header's kind
    std::uint16_t characteristics = 0x2102;  // executable, 32-bit words, DLL
    std::uint64_t imageBase = 0x10000000;
    std::uint32_t sectionAlignment = 0x1000;
    std::uint32_t sizeOfImage = 0;  // 0: the end of the last section
    std::uint32_t entryPoint = 0;
    pe::DataDirectory directories[16];
    std::vector<SyntheticSection> sections;

    // An x86-64 image with a PE32+ header (the address size of thunks and relocations: 8).
    static SyntheticImage ForMachine(pe::Machine machine);

    // The file image: headers at offset 0 (e_lfanew 0x40), section data from 0x200 on.
    Bytes Build() const;
};

// Offset of the optional header in a built image, and of its data directories.
constexpr std::size_t kSyntheticOptional = 0x40 + 24;
std::size_t DirectoryOffset(pe::Machine machine, int index);

void Put16(Bytes& b, std::size_t at, std::uint16_t v);
void Put32(Bytes& b, std::size_t at, std::uint32_t v);
void Put64(Bytes& b, std::size_t at, std::uint64_t v);
std::uint32_t Get32(const Bytes& b, std::size_t at);
std::uint64_t Get64(const Bytes& b, std::size_t at);
// Writes `text` and its terminating zero.
void PutText(Bytes& b, std::size_t at, const char* text);
