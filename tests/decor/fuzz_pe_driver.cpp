// A self-contained mutation fuzzer for the image reader and mapper: starts from the seed DLLs,
// mutates them deterministically (bit flips, byte and word writes, truncation, splices, and
// writes aimed at header fields and at the relocation, import and export tables the seeds
// hold), and runs each result through the fuzz target until an iteration or a time limit.
// Usage: fuzz_pe <seed folder> [iterations] [seconds]
// Crashes and sanitizer reports end the program; under the sanitizers the input that did it
// is written to fuzz_pe_crash.bin first. The run is deterministic, so it also reproduces.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decor/pe_image.h"
#include "tests/decor/fuzz_pe_target.h"
#include "tests/support/fuzz_support.h"

namespace {

using fuzz::Random;

using Buffer = std::vector<std::uint8_t>;

// The input being run, for the sanitizer's death callback.
const Buffer* g_current = nullptr;

void SaveCurrentInput() {
    if (!g_current)
        return;
    fuzz::KeepInput("fuzz_pe_crash.bin", g_current->data(), g_current->size());
}

struct Seed {
    Buffer bytes;
    std::vector<std::size_t> fields;  // file offsets of 32-bit fields worth aiming at
    std::uint32_t imageSize = 0;
};

std::uint32_t Read32(const Buffer& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

void Write32(Buffer& b, std::size_t at, std::uint32_t v) {
    if (at + 4 > b.size())
        return;
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void AddTable(const pe::Layout& layout,
              const Buffer& b,
              std::uint32_t rva,
              std::size_t bytes,
              std::vector<std::size_t>& fields) {
    long long at = pe::FileOffsetOfRva(layout, rva);
    for (std::size_t i = 0; at >= 0 && i + 4 <= bytes && at + i + 4 <= b.size(); i += 4)
        fields.push_back(static_cast<std::size_t>(at) + i);
}

// The offsets of the header fields, section headers, relocation blocks, import descriptors
// with their address tables, and the export directory with its tables.
Seed Analyse(Buffer bytes) {
    Seed seed;
    pe::Layout layout;
    pe::Status status = pe::ParseImage(bytes.data(), bytes.size(), pe::Machine::kI386, &layout);
    if (status == pe::Status::kOtherArchitecture)
        status = pe::ParseImage(bytes.data(), bytes.size(), pe::Machine::kAmd64, &layout);
    if (status != pe::Status::kOk) {
        seed.bytes = std::move(bytes);
        return seed;
    }
    const Buffer& b = bytes;
    std::vector<std::size_t>& f = seed.fields;
    const pe::Headers& h = layout.headers;
    seed.imageSize = layout.imageSize;
    const std::size_t nt = h.ntOffset, optional = nt + 24;
    const std::size_t directories = optional + (h.IsPe32Plus() ? 112 : 96);
    // The image base: the low and high halves of PE32+'s, PE32's own field.
    const std::size_t base = optional + (h.IsPe32Plus() ? 24 : 28);
    f.insert(f.end(), {0x3C, nt, nt + 4, nt + 20, optional, optional + 16, base, base + 4,
                       optional + 32, optional + 56, optional + 60, directories - 4});
    for (std::size_t d = 0; d < 16; ++d)
        f.insert(f.end(), {directories + 8 * d, directories + 4 + 8 * d});
    for (std::size_t s = 0; s < h.sectionCount; ++s) {
        std::size_t at = h.sectionTableOffset + 40 * s;
        f.insert(f.end(), {at + 8, at + 12, at + 16, at + 20});
    }
    AddTable(layout, b, h.relocations.rva, h.relocations.size, f);
    if (h.imports.size) {
        AddTable(layout, b, h.imports.rva, 60, f);
        long long desc = pe::FileOffsetOfRva(layout, h.imports.rva);
        for (int i = 0; desc >= 0 && i < 4 && desc + 20 * i + 20 <= (long long)b.size(); ++i) {
            std::uint32_t iat = Read32(b, static_cast<std::size_t>(desc) + 20 * i + 16);
            if (iat)
                AddTable(layout, b, iat, 3 * h.AddressSize(), f);
        }
    }
    if (h.exports.size) {
        AddTable(layout, b, h.exports.rva, 40, f);
        long long dir = pe::FileOffsetOfRva(layout, h.exports.rva);
        if (dir >= 0 && dir + 40 <= (long long)b.size()) {
            for (std::size_t table : {28, 32, 36})
                AddTable(layout, b, Read32(b, static_cast<std::size_t>(dir) + table), 16, f);
        }
    }
    seed.bytes = std::move(bytes);
    return seed;
}

std::uint32_t InterestingValue(Random& r, std::uint32_t current, std::uint32_t imageSize) {
    static const std::uint32_t kValues[] = {
        0,      1,       2,          7,          8,          0xFFF,      0x1000,     0x7FFF,
        0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF0, 0xFFFFF000, 0x00FFFFFF};
    switch (r.Below(4)) {
        case 0:
            return kValues[r.Below(std::size(kValues))];
        case 1:
            return imageSize - static_cast<std::uint32_t>(r.Below(9));  // near the end
        case 2:
            return current + static_cast<std::uint32_t>(r.Below(33)) - 16;
        default:
            return static_cast<std::uint32_t>(r.Next());
    }
}

void Mutate(Buffer& b, const Seed& seed, const std::vector<Seed>& seeds, Random& r) {
    int count = 1 + static_cast<int>(r.Below(4));
    for (int i = 0; i < count && !b.empty(); ++i) {
        switch (r.Below(8)) {
            case 0:
                b[r.Below(b.size())] ^= static_cast<std::uint8_t>(1u << r.Below(8));
                break;
            case 1:
                b[r.Below(b.size())] = static_cast<std::uint8_t>(r.Next());
                break;
            case 2: {
                std::size_t at = r.Below(b.size());
                Write32(
                    b, at,
                    InterestingValue(r, at + 4 <= b.size() ? Read32(b, at) : 0, seed.imageSize));
                break;
            }
            case 3:
                b.resize(r.Below(b.size() + 1));
                break;
            case 4: {
                const Buffer& other = seeds[r.Below(seeds.size())].bytes;
                std::size_t from = r.Below(other.size()), to = r.Below(b.size());
                std::size_t n = std::min({r.Below(256) + 1, other.size() - from, b.size() - to});
                std::memcpy(&b[to], &other[from], n);
                break;
            }
            default:
                if (!seed.fields.empty()) {
                    std::size_t at = seed.fields[r.Below(seed.fields.size())];
                    if (at + 4 <= b.size())
                        Write32(b, at, InterestingValue(r, Read32(b, at), seed.imageSize));
                }
                break;
        }
    }
}

bool ReadFile(const std::filesystem::path& path, Buffer* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <seed folder> [iterations] [seconds]\n", argv[0]);
        return 2;
    }
    const std::uint64_t maxIterations = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 200000;
    const double maxSeconds = argc > 3 ? std::atof(argv[3]) : 20.0;

    Buffer input;
    std::vector<Seed> seeds;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1], error)) {
        Buffer bytes;
        if (entry.is_regular_file() && ReadFile(entry.path(), &bytes) && !bytes.empty())
            seeds.push_back(Analyse(std::move(bytes)));
    }
    std::size_t usable = 0;
    for (const Seed& s : seeds)
        usable += s.imageSize != 0;
    if (usable == 0) {
        std::fprintf(stderr, "no valid seed image in %s\n", argv[1]);
        return 1;
    }
    // Seeds run as they are first.
    for (const Seed& s : seeds)
        LLVMFuzzerTestOneInput(s.bytes.data(), s.bytes.size());
    if (FuzzPeStatistics().bound == 0 || FuzzPeStatistics().bound64 == 0) {
        std::fprintf(stderr, "no seed of one kind (PE32, PE32+) passed the whole mapping\n");
        return 1;
    }

    fuzz::OnSanitizerReport(SaveCurrentInput);
    g_current = &input;
    Random random(0x5EED1234ABCDull);
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    std::uint64_t iterations = 0;
    for (; iterations < maxIterations; ++iterations) {
        if ((iterations & 255) == 0) {
            elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (elapsed >= maxSeconds)
                break;
        }
        const Seed& seed = seeds[random.Below(seeds.size())];
        input = seed.bytes;
        Mutate(input, seed, seeds, random);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const FuzzPeStats& s = FuzzPeStatistics();
    std::printf("fuzz_pe: %zu seeds, %llu mutated inputs in %.1f s\n", seeds.size(),
                static_cast<unsigned long long>(iterations), elapsed);
    std::printf(
        "fuzz_pe: parsed %llu, relocated %llu, imports bound %llu (PE32+ %llu), exports found "
        "%llu\n",
        static_cast<unsigned long long>(s.parsed), static_cast<unsigned long long>(s.relocated),
        static_cast<unsigned long long>(s.bound), static_cast<unsigned long long>(s.bound64),
        static_cast<unsigned long long>(s.exportsFound));
    // A mutation mix that never gets past the headers would test little.
    if (iterations > 1000 && s.bound < iterations / 100) {
        std::fprintf(stderr, "fuzz_pe: too few inputs reached the import binding\n");
        return 1;
    }
    return 0;
}
