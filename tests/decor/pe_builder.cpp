#include "tests/decor/pe_builder.h"

#include <algorithm>
#include <cstring>

void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b.at(at) = static_cast<std::uint8_t>(v);
    b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, static_cast<std::uint16_t>(v));
    Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

void Put64(Bytes& b, std::size_t at, std::uint64_t v) {
    Put32(b, at, static_cast<std::uint32_t>(v));
    Put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}

std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) |
           (static_cast<std::uint32_t>(b.at(at + 3)) << 24);
}

std::uint64_t Get64(const Bytes& b, std::size_t at) {
    return Get32(b, at) | (std::uint64_t{Get32(b, at + 4)} << 32);
}

std::size_t DirectoryOffset(pe::Machine machine, int index) {
    return kSyntheticOptional + (machine == pe::Machine::kAmd64 ? 112 : 96) + 8 * index;
}

SyntheticImage SyntheticImage::ForMachine(pe::Machine machine) {
    SyntheticImage image;
    if (machine == pe::Machine::kAmd64) {
        image.machine = 0x8664;
        image.pe32Plus = true;
        image.characteristics = 0x2022;  // executable, large addresses, DLL
        image.imageBase = 0x180000000;
    }
    return image;
}

void PutText(Bytes& b, std::size_t at, const char* text) {
    std::size_t n = std::strlen(text) + 1;
    std::copy(text, text + n, b.begin() + static_cast<std::ptrdiff_t>(at));
}

Bytes SyntheticImage::Build() const {
    constexpr std::size_t kNt = 0x40;
    constexpr std::size_t kOptional = kSyntheticOptional;
    const std::uint16_t optionalSize = pe32Plus ? 240 : 224;
    const std::size_t directories = kOptional + (pe32Plus ? 112 : 96);
    const std::size_t kTable = kOptional + optionalSize;
    constexpr std::uint32_t kFileAlignment = 0x200;
    std::size_t headerEnd = kTable + 40 * sections.size();
    std::uint32_t rawAt = static_cast<std::uint32_t>((headerEnd + 0x1FF) & ~std::size_t{0x1FF});

    Bytes out(rawAt, 0);
    Put16(out, 0, 0x5A4D);
    Put32(out, 0x3C, kNt);
    Put32(out, kNt, 0x4550);
    Put16(out, kNt + 4, machine);
    Put16(out, kNt + 6, static_cast<std::uint16_t>(sections.size()));
    Put16(out, kNt + 20, optionalSize);
    Put16(out, kNt + 22, characteristics);
    Put16(out, kOptional, pe32Plus ? 0x20B : 0x10B);
    Put32(out, kOptional + 16, entryPoint);
    if (pe32Plus)
        Put64(out, kOptional + 24, imageBase);
    else
        Put32(out, kOptional + 28, static_cast<std::uint32_t>(imageBase));
    Put32(out, kOptional + 32, sectionAlignment);
    Put32(out, kOptional + 36, kFileAlignment);
    Put32(out, kOptional + 60, rawAt);
    Put32(out, directories - 4, 16);
    for (int i = 0; i < 16; ++i) {
        Put32(out, directories + 8 * i, this->directories[i].rva);
        Put32(out, directories + 8 * i + 4, this->directories[i].size);
    }

    std::uint64_t end = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const SyntheticSection& s = sections[i];
        std::size_t h = kTable + 40 * i;
        std::uint32_t virtualSize =
            s.virtualSize ? s.virtualSize : static_cast<std::uint32_t>(s.data.size());
        std::memcpy(&out[h], ".sect", 5);
        Put32(out, h + 8, virtualSize);
        Put32(out, h + 12, s.rva);
        Put32(out, h + 16, static_cast<std::uint32_t>(s.data.size()));
        Put32(out, h + 20, static_cast<std::uint32_t>(out.size()));
        Put32(out, h + 36, 0xE0000020);  // code, readable, writable, executable
        out.insert(out.end(), s.data.begin(), s.data.end());
        out.resize((out.size() + kFileAlignment - 1) / kFileAlignment * kFileAlignment);
        std::uint64_t a = sectionAlignment ? sectionAlignment : 1;
        end = std::max(
            end, (s.rva + std::max<std::uint64_t>(virtualSize, s.data.size()) + a - 1) / a * a);
    }
    Put32(out, kOptional + 56, sizeOfImage ? sizeOfImage : static_cast<std::uint32_t>(end));
    return out;
}
