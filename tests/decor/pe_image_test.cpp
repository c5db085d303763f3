// The image reader and mapper on real mingw-built DLLs (i386 and x86-64) and on synthetic
// images of both kinds, including images whose tables point outside the image (the native
// tree runs this under ASan).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "decor/pe_image.h"
#include "embedded/decor_pe_image_test.h"
#include "tests/decor/pe_builder.h"

namespace {

Bytes FromBlob(EmbeddedBlob blob) {
    return Bytes(blob.data, blob.data + blob.size);
}

Bytes PlainDll() {
    return FromBlob(seed_plain_blob());
}

constexpr pe::Machine kI386 = pe::Machine::kI386;
constexpr pe::Machine kAmd64 = pe::Machine::kAmd64;

// The sample DLLs of each architecture, built from the same sources.
struct Sample {
    const char* what;
    pe::Machine machine;
    Bytes plain, probe;
};

std::vector<Sample> Samples() {
    return {{"i386", kI386, PlainDll(), FromBlob(seed_probe_blob())},
            {"x86-64", kAmd64, FromBlob(seed_plain64_blob()), FromBlob(seed_probe64_blob())}};
}

struct Mapped {
    pe::Layout layout;
    Bytes image;
};

Mapped Map(const Bytes& file, pe::Machine machine = kI386) {
    Mapped m;
    EXPECT_EQ(pe::ParseImage(file.data(), file.size(), machine, &m.layout), pe::Status::kOk);
    m.image.assign(m.layout.imageSize, 0);
    pe::CopyImage(file.data(), file.size(), m.layout, m.image.data());
    return m;
}

// Records every library and symbol asked for; gives out increasing fake addresses.
class RecordingBinder : public pe::ImportBinder {
  public:
    void BeginLibrary(const char* library) override { log.push_back(std::string(library)); }
    std::uint64_t Resolve(const char* library, const pe::ImportSymbol& symbol) override {
        std::string entry = std::string(library) + "!" + symbol.text;
        if (symbol.byOrdinal)
            entry += " (ordinal " + std::to_string(symbol.ordinal) + ")";
        log.push_back(entry);
        if (entry == refuse)
            return 0;
        addresses.push_back(next += 0x10);
        return next;
    }
    std::vector<std::string> log;
    std::vector<std::uint64_t> addresses;
    std::string refuse;
    std::uint64_t next = 0x70000000;
};

std::uint32_t NtOffset(const Bytes& b) {
    return Get32(b, 0x3C);
}

// Offset of the section header `i`: after the optional header, whose size the file header
// gives (224 bytes for PE32, 240 for PE32+).
std::size_t SectionHeader(const Bytes& b, std::size_t i) {
    return NtOffset(b) + 24 + (b.at(NtOffset(b) + 20) | (b.at(NtOffset(b) + 21) << 8)) + 40 * i;
}

TEST(PeHeaders, BrokenHeadersAreRejected) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        pe::Status expected;
    };
    auto flipKind = [](Bytes& b) {
        std::size_t magic = NtOffset(b) + 24;
        Put16(b, magic, b[magic] == 0x0B && b[magic + 1] == 0x01 ? 0x20B : 0x10B);
    };
    auto otherMachine = [](Bytes& b) {
        std::size_t machine = NtOffset(b) + 4;
        Put16(b, machine, b[machine] == 0x4C ? 0x8664 : 0x14C);
    };
    const Case cases[] = {
        {"63 bytes", [](Bytes& b) { b.resize(63); }, pe::Status::kTooSmall},
        {"no MZ", [](Bytes& b) { b[1] = 'X'; }, pe::Status::kNoDosSignature},
        {"NT headers cut", [](Bytes& b) { b.resize(SectionHeader(b, 0) - 1); },
         pe::Status::kNoNtHeaders},
        {"e_lfanew far away", [](Bytes& b) { Put32(b, 0x3C, 0xFFFFFFF0); },
         pe::Status::kNoNtHeaders},
        {"PE signature", [](Bytes& b) { b[NtOffset(b) + 2] = 1; }, pe::Status::kNoNtHeaders},
        {"unknown optional header", [](Bytes& b) { Put16(b, NtOffset(b) + 24, 0x107); },
         pe::Status::kNoNtHeaders},
        {"header of the other kind", flipKind, pe::Status::kNoNtHeaders},
        {"not executable", [](Bytes& b) { b[NtOffset(b) + 22] &= ~2; }, pe::Status::kNotExecutable},
        {"ARM machine", [](Bytes& b) { Put16(b, NtOffset(b) + 4, 0x1C4); },
         pe::Status::kWrongMachine},
        {"the other architecture", otherMachine, pe::Status::kOtherArchitecture},
        {"section table cut", [](Bytes& b) { Put16(b, NtOffset(b) + 6, 0xFFFF); },
         pe::Status::kSectionTableCut},
        {"zero alignment", [](Bytes& b) { Put32(b, NtOffset(b) + 24 + 32, 0); },
         pe::Status::kBadImageSize},
        {"image over 256 MiB", [](Bytes& b) { Put32(b, NtOffset(b) + 24 + 56, 0x10001000); },
         pe::Status::kBadImageSize},
        {"section at the top of the address space",
         [](Bytes& b) { Put32(b, SectionHeader(b, 0) + 12, 0xFFFFF000); },
         pe::Status::kBadImageSize},
        {"raw data past the end",
         [](Bytes& b) {
             Put32(b, SectionHeader(b, 0) + 20, static_cast<std::uint32_t>(b.size() - 16));
         },
         pe::Status::kSectionOutsideFile},
        {"raw data offset wraps", [](Bytes& b) { Put32(b, SectionHeader(b, 0) + 20, 0xFFFFFF00); },
         pe::Status::kSectionOutsideFile},
        {"entry point past the image",
         [](Bytes& b) { Put32(b, NtOffset(b) + 24 + 16, 0x00100000); }, pe::Status::kBadEntryPoint},
    };
    for (const Sample& sample : Samples()) {
        pe::Layout layout;
        ASSERT_EQ(pe::ParseImage(sample.plain.data(), sample.plain.size(), sample.machine, &layout),
                  pe::Status::kOk)
            << sample.what;
        for (const Case& c : cases) {
            Bytes b = sample.plain;
            c.damage(b);
            EXPECT_EQ(pe::ParseImage(b.data(), b.size(), sample.machine, &layout), c.expected)
                << sample.what << ": " << c.what;
        }
    }
}

TEST(PeHeaders, AnImageIsReadOnlyForItsOwnArchitecture) {
    for (const Sample& sample : Samples()) {
        const pe::Machine other = sample.machine == kI386 ? kAmd64 : kI386;
        pe::Layout layout;
        EXPECT_EQ(pe::ParseImage(sample.plain.data(), sample.plain.size(), other, &layout),
                  pe::Status::kOtherArchitecture)
            << sample.what;
        ASSERT_EQ(pe::ParseImage(sample.plain.data(), sample.plain.size(), sample.machine, &layout),
                  pe::Status::kOk);
        EXPECT_EQ(layout.headers.IsPe32Plus(), sample.machine == kAmd64) << sample.what;
        EXPECT_EQ(layout.headers.imageBase, 0x20000000u) << sample.what;
    }
    SyntheticImage high = SyntheticImage::ForMachine(kAmd64);
    high.imageBase = 0x7FF612340000;
    high.sections.push_back({0x1000, 0, Bytes(0x10, 0)});
    Bytes file = high.Build();
    pe::Layout layout;
    ASSERT_EQ(pe::ParseImage(file.data(), file.size(), kAmd64, &layout), pe::Status::kOk);
    EXPECT_EQ(layout.headers.imageBase, 0x7FF612340000u) << "all 64 bits of the base";
}

TEST(PeLayout, ImageSizeCoversEverySectionRoundedUp) {
    struct Case {
        std::uint32_t declared, rva, virtualSize, rawSize, alignment, expected;
    };
    const Case cases[] = {
        {0x2000, 0x1000, 0x10, 0x10, 0x1000, 0x2000},    // declared size suffices
        {0x1000, 0x3000, 0x1800, 0x10, 0x1000, 0x5000},  // virtual size beyond the declared
        {0x1000, 0x1000, 0x10, 0x1200, 0x1000, 0x3000},  // raw size beyond the virtual
        {0x9000, 0x1000, 0x10, 0x10, 0x1000, 0x9000},    // larger declared size is kept
        {0x0, 0x1000, 0x301, 0x10, 0x100, 0x1400},       // other alignments
    };
    for (const Case& c : cases) {
        SyntheticImage s;
        s.sizeOfImage = c.declared;
        s.sectionAlignment = c.alignment;
        s.sections.push_back({c.rva, c.virtualSize, Bytes(c.rawSize, 0xCC)});
        Bytes file = s.Build();
        if (c.declared == 0)
            Put32(file, 0x40 + 24 + 56, 0);
        pe::Layout layout;
        ASSERT_EQ(pe::ParseImage(file.data(), file.size(), kI386, &layout), pe::Status::kOk);
        EXPECT_EQ(layout.imageSize, c.expected) << std::hex << c.rva << " " << c.virtualSize;
    }
}

TEST(PeMapping, RealDllIsCopiedAndRelocated) {
    Bytes file = PlainDll();
    Mapped m = Map(file);
    const pe::Headers& h = m.layout.headers;
    EXPECT_TRUE(h.IsDll());
    EXPECT_EQ(h.imageBase, 0x20000000u);
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + h.headerBytes, m.image.begin()));

    // CounterAddress is "mov eax, offset Counter; ret": its operand must follow the base.
    std::uint32_t code = pe::FindExportRva(m.image.data(), m.image.size(), "CounterAddress");
    std::uint32_t counter = pe::FindExportRva(m.image.data(), m.image.size(), "Counter");
    ASSERT_NE(code, 0u);
    ASSERT_NE(counter, 0u);
    EXPECT_EQ(m.image[code], 0xB8);
    EXPECT_EQ(Get32(m.image, code + 1), h.imageBase + counter);
    EXPECT_EQ(Get32(file, pe::FileOffsetOfRva(m.layout, code) + 1), h.imageBase + counter);

    const std::uint32_t base = 0x00870000;
    ASSERT_EQ(pe::ApplyRelocations(m.image.data(), m.layout, base), pe::Status::kOk);
    EXPECT_EQ(Get32(m.image, code + 1), base + counter);
}

TEST(PeMapping, RealX64DllIsRelocatedThroughItsDir64Entries) {
    Bytes file = FromBlob(seed_plain64_blob());
    Mapped m = Map(file, kAmd64);
    const pe::Headers& h = m.layout.headers;
    // CounterAddress is "mov rax, [rip + CounterPointer]; ret": CounterPointer holds the
    // address of Counter, a 64-bit value the relocations must move with the base.
    std::uint32_t code = pe::FindExportRva(m.image.data(), m.image.size(), "CounterAddress");
    std::uint32_t counter = pe::FindExportRva(m.image.data(), m.image.size(), "Counter");
    ASSERT_NE(code, 0u);
    ASSERT_NE(counter, 0u);
    ASSERT_EQ(Get32(m.image, code) & 0xFFFFFF, 0x058B48u);
    const std::uint32_t pointer = code + 7 + Get32(m.image, code + 3);
    EXPECT_EQ(Get64(m.image, pointer), h.imageBase + counter);

    const std::uint64_t base = 0x7FF6A0000000;
    ASSERT_EQ(pe::ApplyRelocations(m.image.data(), m.layout, base), pe::Status::kOk);
    EXPECT_EQ(Get64(m.image, pointer), base + counter);
}

TEST(PeImports, NamedAndOrdinalImportsAreBound) {
    for (const Sample& sample : Samples()) {
        struct Case {
            const Bytes& file;
            std::vector<std::string> expected;
        };
        const Case cases[] = {
            {sample.plain,
             {"KERNEL32.dll", "KERNEL32.dll!GetCurrentProcessId", "VERSION.dll",
              "VERSION.dll!GetFileVersionInfoSizeA"}},
            {sample.probe,
             {"lzf-probe-host.dll", "lzf-probe-host.dll!ProbeRecord",
              "lzf-probe-host.dll!7 (ordinal 7)"}},
        };
        const std::size_t width = sample.machine == kAmd64 ? 8 : 4;
        for (const Case& c : cases) {
            Mapped m = Map(c.file, sample.machine);
            RecordingBinder binder;
            if (width == 8)
                binder.next = 0x7FFA00000000;  // needs all 64 bits of an entry
            ASSERT_EQ(pe::BindImports(m.image.data(), m.layout, binder), pe::Status::kOk)
                << sample.what;
            EXPECT_EQ(binder.log, c.expected) << sample.what;
            // Every address given out was written over an entry of the import address table.
            for (std::uint64_t address : binder.addresses) {
                bool found = false;
                for (std::size_t at = 0; at + width <= m.image.size() && !found; at += width)
                    found = (width == 8 ? Get64(m.image, at) : Get32(m.image, at)) == address;
                EXPECT_TRUE(found) << sample.what << " " << std::hex << address;
            }
        }
    }

    Mapped m = Map(PlainDll());
    RecordingBinder binder;
    binder.refuse = "VERSION.dll!GetFileVersionInfoSizeA";
    EXPECT_EQ(pe::BindImports(m.image.data(), m.layout, binder), pe::Status::kImportUnresolved);
}

TEST(PeExports, ByNameAndByOrdinal) {
    Mapped m = Map(PlainDll());
    auto find = [&](const char* name) {
        return pe::FindExportRva(m.image.data(), m.image.size(), name);
    };
    ASSERT_NE(find("AddNumbers"), 0u);
    ASSERT_NE(find("EntryModuleHandle"), 0u);
    EXPECT_EQ(find("1"), find("AddNumbers"));
    EXPECT_EQ(find("2"), find("MultiplyNumbers"));
    EXPECT_EQ(find("11"), find("EntryModuleHandle"));  // the last of 11 functions, base 1
    EXPECT_NE(find("AddNumbers"), find("MultiplyNumbers"));
    for (const char* absent : {"3", "12", "0", "-1", "01", "+1", "4294967297", "addnumbers",
                               "AddNumber", "AddNumbersX", ""})
        EXPECT_EQ(find(absent), 0u) << absent;

    // With ordinal base 0, the ordinal equal to the number of functions is one too many.
    std::uint32_t exportDir = m.layout.headers.exports.rva;
    std::uint32_t entryHandle = find("EntryModuleHandle");
    std::uint32_t add = find("AddNumbers");
    Put32(m.image, exportDir + 16, 0);
    EXPECT_EQ(find("0"), add);
    EXPECT_EQ(find("10"), entryHandle);
    EXPECT_EQ(find("11"), 0u);
}

// An export table whose names are not stored back to back in the order of the name table.
struct ExportFixture {
    static constexpr std::uint32_t kRva = 0x1000;
    SyntheticImage image;
    Bytes& data() { return image.sections[0].data; }
    ExportFixture() {
        image.sections.push_back({kRva, 0, Bytes(0x400, 0)});
        image.directories[0] = {kRva, 0x40};
        Bytes& d = data();
        Put32(d, 16, 5);                                                          // ordinal base
        Put32(d, 20, 4);                                                          // functions
        Put32(d, 24, 4);                                                          // names
        Put32(d, 28, kRva + 0x40);                                                // function table
        Put32(d, 32, kRva + 0x60);                                                // name pointers
        Put32(d, 36, kRva + 0x80);                                                // name ordinals
        const std::uint32_t functions[] = {0x1200, 0x1210, 0x1220, kRva + 0x28};  // last: forwarder
        const char* names[] = {"Beta", "Alpha", "Gamma", "Forwarded"};
        const std::uint32_t nameAt[] = {0x300, 0x100, 0x380, 0x200};
        const std::uint16_t ordinals[] = {1, 0, 2, 3};
        PutText(d, 0x28, "OTHER.Function");  // inside the directory
        for (int i = 0; i < 4; ++i) {
            Put32(d, 0x40 + 4 * i, functions[i]);
            Put32(d, 0x60 + 4 * i, kRva + nameAt[i]);
            Put16(d, 0x80 + 2 * i, ordinals[i]);
            PutText(d, nameAt[i], names[i]);
        }
    }
    std::uint32_t Find(const char* name) {
        Mapped m = Map(image.Build());
        return pe::FindExportRva(m.image.data(), m.image.size(), name);
    }
};

TEST(PeExports, NamesAreReadThroughTheNameTable) {
    ExportFixture f;
    EXPECT_EQ(f.Find("Alpha"), 0x1200u);
    EXPECT_EQ(f.Find("Beta"), 0x1210u);
    EXPECT_EQ(f.Find("Gamma"), 0x1220u);
    EXPECT_EQ(f.Find("5"), 0x1200u);
    EXPECT_EQ(f.Find("Forwarded"), 0u);
    EXPECT_EQ(f.Find("8"), 0u);
}

TEST(PeExports, TablesOutsideTheImageGiveZero) {
    struct Case {
        const char* what;
        std::function<void(ExportFixture&)> damage;
        const char* name;
    };
    const std::uint32_t kFar = 0xFFFFFFF0;
    const Case cases[] = {
        {"directory", [&](ExportFixture& f) { f.image.directories[0].rva = 0x1FF0; }, "Alpha"},
        {"name pointers", [&](ExportFixture& f) { Put32(f.data(), 32, kFar); }, "Alpha"},
        {"name ordinals", [&](ExportFixture& f) { Put32(f.data(), 36, kFar); }, "Alpha"},
        {"function table", [&](ExportFixture& f) { Put32(f.data(), 28, kFar); }, "Alpha"},
        {"function table by ordinal", [&](ExportFixture& f) { Put32(f.data(), 28, kFar); }, "5"},
        {"function outside", [&](ExportFixture& f) { Put32(f.data(), 0x40, kFar); }, "Alpha"},
        {"ordinal index too big", [&](ExportFixture& f) { Put16(f.data(), 0x82, 4); }, "Alpha"},
        {"huge name count", [&](ExportFixture& f) { Put32(f.data(), 24, 0xFFFFFFFF); }, "Zeta"},
        {"name runs off the end",
         [&](ExportFixture& f) {
             Bytes& d = f.data();
             std::fill(d.end() - 8, d.end(), 'A');
             f.image.sections[0].virtualSize = 0;
             f.image.sectionAlignment = 0x200;
             Put32(d, 0x60, ExportFixture::kRva + static_cast<std::uint32_t>(d.size()) - 8);
         },
         "AAAAAAAA"},
    };
    for (const Case& c : cases) {
        ExportFixture f;
        c.damage(f);
        EXPECT_EQ(f.Find(c.name), 0u) << c.what;
    }
}

// A relocation directory at 0x1000 and an address to relocate at 0x1100: a 32-bit high-low
// entry in a PE32 image, a DIR64 one in a PE32+ image.
struct RelocFixture {
    SyntheticImage image;
    Bytes& data() { return image.sections[0].data; }
    explicit RelocFixture(pe::Machine machine = kI386)
        : image(SyntheticImage::ForMachine(machine)) {
        image.imageBase = 0x10000000;
        image.sections.push_back({0x1000, 0, Bytes(0x200, 0)});
        image.directories[5] = {0x1000, 12};
        Bytes& d = data();
        Put32(d, 0, 0x1000);                               // page
        Put32(d, 4, 12);                                   // block size: two entries
        Put16(d, 8, machine == kAmd64 ? 0xA100 : 0x3100);  // the address at 0x1100
        Put16(d, 10, 0x0000);                              // padding entry
        Put64(d, 0x100, 0x0000000110000010);               // PE32 reads the low half only
    }
};

TEST(PeRelocations, MalformedBlocksFailAndGoodOnesApply) {
    struct Case {
        const char* what;
        std::function<void(RelocFixture&)> change;
        pe::Status expected;
        std::uint32_t value;  // at 0x1100 afterwards, when the walk succeeds
    };
    const Case cases[] = {
        {"well formed", [](RelocFixture&) {}, pe::Status::kOk, 0x20000010},
        {"block size below 8", [](RelocFixture& f) { Put32(f.data(), 4, 4); },
         pe::Status::kBadRelocations, 0},
        {"block larger than directory", [](RelocFixture& f) { Put32(f.data(), 4, 16); },
         pe::Status::kBadRelocations, 0},
        {"target past the image", [](RelocFixture& f) { Put32(f.data(), 0, 0x1FFD - 0x100); },
         pe::Status::kBadRelocations, 0},
        {"directory past the image", [](RelocFixture& f) { f.image.directories[5].size = 0x1001; },
         pe::Status::kBadRelocations, 0},
        {"directory offset wraps",
         [](RelocFixture& f) {
             f.image.directories[5] = {0xFFFFFFF8, 0x10};
         },
         pe::Status::kBadRelocations, 0},
        {"page 0 ends the walk", [](RelocFixture& f) { Put32(f.data(), 0, 0); }, pe::Status::kOk,
         0x10000010},
        {"other entry types are skipped", [](RelocFixture& f) { Put16(f.data(), 8, 0xA100); },
         pe::Status::kOk, 0x10000010},
        {"short tail is padding", [](RelocFixture& f) { f.image.directories[5].size = 16; },
         pe::Status::kOk, 0x20000010},
    };
    for (const Case& c : cases) {
        RelocFixture f;
        c.change(f);
        Mapped m = Map(f.image.Build());
        EXPECT_EQ(pe::ApplyRelocations(m.image.data(), m.layout, 0x20000000), c.expected) << c.what;
        if (c.expected == pe::Status::kOk) {
            EXPECT_EQ(Get32(m.image, 0x1100), c.value) << c.what;
        }
    }
}

TEST(PeRelocations, Dir64EntriesMoveAll64BitsAndStayInsideTheImage) {
    struct Case {
        const char* what;
        std::function<void(RelocFixture&)> change;
        std::uint64_t base;
        pe::Status expected;
        std::uint64_t value;  // at 0x1100 afterwards, when the walk succeeds
    };
    const Case cases[] = {
        {"above 4 GiB", [](RelocFixture&) {}, 0x7FF620000000, pe::Status::kOk, 0x7FF720000010},
        {"below the preferred base", [](RelocFixture&) {}, 0x1000000, pe::Status::kOk, 0x101000010},
        {"high-low entries are not the image's size",
         [](RelocFixture& f) { Put16(f.data(), 8, 0x3100); }, 0x7FF620000000, pe::Status::kOk,
         0x110000010},
        // 4 bytes of the target fit, 8 do not.
        {"target straddles the end", [](RelocFixture& f) { Put16(f.data(), 8, 0xAFFC); },
         0x7FF620000000, pe::Status::kBadRelocations, 0},
    };
    for (const Case& c : cases) {
        RelocFixture f(kAmd64);
        c.change(f);
        Mapped m = Map(f.image.Build(), kAmd64);
        EXPECT_EQ(pe::ApplyRelocations(m.image.data(), m.layout, c.base), c.expected) << c.what;
        if (c.expected == pe::Status::kOk) {
            EXPECT_EQ(Get64(m.image, 0x1100), c.value) << c.what;
        }
    }
}

// One import descriptor at 0x1000 for "host.dll" with one named and one ordinal import (at
// 0x1040, entries of the image's address size); the section ends at 0x1200 (section alignment
// 0x200, so the image ends there too).
struct ImportFixture {
    pe::Machine machine;
    SyntheticImage image;
    Bytes& data() { return image.sections[0].data; }
    explicit ImportFixture(pe::Machine kind = kI386)
        : machine(kind), image(SyntheticImage::ForMachine(kind)) {
        image.sectionAlignment = 0x200;
        image.sections.push_back({0x1000, 0, Bytes(0x200, 0)});
        image.directories[1] = {0x1000, 40};
        Bytes& d = data();
        Put32(d, 12, 0x1080);    // name
        Put32(d, 16, 0x1040);    // import address table
        Put32(d, 0x40, 0x10A0);  // hint/name
        if (machine == kAmd64)
            Put64(d, 0x48, 0x8000000000000009);  // ordinal 9
        else
            Put32(d, 0x44, 0x80000009);
        PutText(d, 0x80, "host.dll");
        PutText(d, 0xA2, "Symbol");
    }
    pe::Status Bind(RecordingBinder& binder) {
        Mapped m = Map(image.Build(), machine);
        return pe::BindImports(m.image.data(), m.layout, binder);
    }
};

TEST(PeImports, TablesOutsideTheImageFail) {
    struct Case {
        const char* what;
        std::function<void(ImportFixture&)> damage;
        pe::Status expected;
    };
    auto fillToEnd = [](Bytes& d, std::size_t from) { std::fill(d.begin() + from, d.end(), 'x'); };
    const Case cases[] = {
        {"well formed", [](ImportFixture&) {}, pe::Status::kOk},
        {"descriptor past the image", [](ImportFixture& f) { f.image.directories[1].rva = 0x11F0; },
         pe::Status::kBadImports},
        {"no terminating descriptor",
         [](ImportFixture& f) {
             // Descriptors with empty address tables up to the end of the image.
             for (std::size_t at = 0x100; at + 20 <= 0x200; at += 20) {
                 Put32(f.data(), at + 12, 0x1080);
                 Put32(f.data(), at + 16, 0x1048);
             }
             f.image.directories[1].rva = 0x1100;
         },
         pe::Status::kBadImports},
        {"library name past the image", [](ImportFixture& f) { Put32(f.data(), 12, 0x7FFFFFFF); },
         pe::Status::kBadImports},
        {"library name runs off the end",
         [&](ImportFixture& f) {
             fillToEnd(f.data(), 0x1F0);
             Put32(f.data(), 12, 0x11F0);
         },
         pe::Status::kBadImports},
        {"address table past the image", [](ImportFixture& f) { Put32(f.data(), 16, 0x11FE); },
         pe::Status::kBadImports},
        {"address table with no end",
         [](ImportFixture& f) {
             Put32(f.data(), 16, 0x1100);
             for (std::size_t at = 0x100; at < 0x200; at += 4)
                 Put32(f.data(), at, 0x80000001);
         },
         pe::Status::kBadImports},
        {"symbol name past the image", [](ImportFixture& f) { Put32(f.data(), 0x40, 0x7FFFFFF0); },
         pe::Status::kBadImports},
        {"symbol name runs off the end",
         [&](ImportFixture& f) {
             fillToEnd(f.data(), 0x1F0);
             Put32(f.data(), 0x40, 0x11EE);
         },
         pe::Status::kBadImports},
    };
    for (pe::Machine machine : {kI386, kAmd64}) {
        for (const Case& c : cases) {
            ImportFixture f(machine);
            c.damage(f);
            RecordingBinder binder;
            EXPECT_EQ(f.Bind(binder), c.expected)
                << c.what << (machine == kAmd64 ? " (PE32+)" : "");
        }
        ImportFixture f(machine);
        RecordingBinder binder;
        ASSERT_EQ(f.Bind(binder), pe::Status::kOk);
        EXPECT_EQ(binder.log, (std::vector<std::string>{"host.dll", "host.dll!Symbol",
                                                        "host.dll!9 (ordinal 9)"}));
    }
}

TEST(PeImports, EntriesHaveTheImagesAddressSize) {
    // A 64-bit entry with only the PE32 ordinal flag names a symbol far outside the image.
    ImportFixture pe32Flag(kAmd64);
    Put64(pe32Flag.data(), 0x48, 0x80000009);
    RecordingBinder binder;
    EXPECT_EQ(pe32Flag.Bind(binder), pe::Status::kBadImports);

    // Addresses above 4 GiB fill a PE32+ entry and cannot be put in a PE32 one.
    for (pe::Machine machine : {kI386, kAmd64}) {
        ImportFixture f(machine);
        RecordingBinder high;
        high.next = 0x7FFA00000000;
        Mapped m = Map(f.image.Build(), machine);
        const pe::Status status = pe::BindImports(m.image.data(), m.layout, high);
        if (machine == kI386) {
            EXPECT_EQ(status, pe::Status::kImportUnresolved);
            continue;
        }
        ASSERT_EQ(status, pe::Status::kOk);
        EXPECT_EQ(Get64(m.image, 0x1040), 0x7FFA00000010u);
        EXPECT_EQ(Get64(m.image, 0x1048), 0x7FFA00000020u);
        EXPECT_EQ(Get64(m.image, 0x1050), 0u) << "the terminating entry stays";
    }
}

}  // namespace
