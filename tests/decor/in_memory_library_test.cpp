// InMemoryLibrary on DLLs built for these tests (dlls/): mapping, exports, relocation, import
// resolution, entry-point calls, and clean failure on bad images.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "decor/in_memory_library.h"
#include "decor/pe_image.h"
#include "embedded/decor_loader_test.h"
#include "tests/decor/pe_builder.h"

namespace {

constexpr std::uintptr_t kPlainBase = 0x20000000;  // preferred base of lzf-test-plain.dll

Bytes FromBlob(EmbeddedBlob blob) {
    return Bytes(blob.data, blob.data + blob.size);
}

Bytes Plain() {
    return FromBlob(test_plain_dll_blob());
}

template <typename T>
T Export(const InMemoryLibrary& library, const char* name) {
    return reinterpret_cast<T>(library.FindExport(name));
}

// Nothing committed at `address`. (Wine keeps some free ranges reserved for itself, so a
// released mapping does not always read back as MEM_FREE.)
bool IsReleased(std::uintptr_t address) {
    MEMORY_BASIC_INFORMATION info{};
    return VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info) == sizeof info &&
           info.State != MEM_COMMIT;
}

// What the probe DLLs report through their import of ProbeRecord, and whom the resolver was
// asked about.
std::vector<unsigned> g_events;
std::uintptr_t g_lastCaller = 0;  // a code address inside the probe DLL that reported last
struct ResolverCall {
    std::string library, symbol;
    std::uintptr_t argument;
    bool operator==(const ResolverCall&) const = default;
};
std::vector<ResolverCall> g_resolverCalls;

extern "C" void __cdecl ProbeRecordImpl(unsigned event) {
    g_events.push_back(event);
    g_lastCaller = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
}

extern "C" int __cdecl ProbeValueImpl() {
    return 42;
}

std::uintptr_t __stdcall ProbeResolver(const char* library,
                                       const char* symbol,
                                       std::uintptr_t argument) {
    g_resolverCalls.push_back({library, symbol, argument});
    if (std::string(library) != "lzf-probe-host.dll")
        return 0;
    if (std::string(symbol) == "ProbeRecord")
        return reinterpret_cast<std::uintptr_t>(&ProbeRecordImpl);
    if (std::string(symbol) == "7")
        return reinterpret_cast<std::uintptr_t>(&ProbeValueImpl);
    return 0;
}

std::uintptr_t __stdcall RefusingResolver(const char*, const char*, std::uintptr_t) {
    return 0;
}

class InMemoryLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_events.clear();
        g_resolverCalls.clear();
        g_lastCaller = 0;
    }
};

TEST_F(InMemoryLibraryTest, MapsPlainDllAndCallsItsExports) {
    ASSERT_TRUE(IsReleased(kPlainBase));
    InMemoryLibrary library;
    Bytes image = Plain();
    ASSERT_TRUE(library.Load(image));
    const std::uintptr_t base = library.GetBase();
    EXPECT_EQ(base, kPlainBase) << "the preferred base was free";

    EXPECT_EQ(*Export<int*>(library, "AttachCount"), 1);
    EXPECT_EQ(*Export<HINSTANCE*>(library, "EntryModuleHandle"), nullptr);
    auto add = Export<int(__cdecl*)(int, int)>(library, "AddNumbers");
    auto multiply = Export<int(__cdecl*)(int, int)>(library, "MultiplyNumbers");
    ASSERT_TRUE(add && multiply);
    EXPECT_EQ(add(2, 3), 5);
    EXPECT_EQ(multiply(6, 7), 42);
    EXPECT_EQ(library.FindExport("1"), library.FindExport("AddNumbers"));
    EXPECT_EQ(library.FindExport("addnumbers"), 0u);
    EXPECT_EQ(library.FindExport("3"), 0u);   // unused ordinal
    EXPECT_EQ(library.FindExport("12"), 0u);  // one past the last of 11
    // Bound through LoadLibrary/GetProcAddress.
    auto processId = Export<DWORD(__cdecl*)()>(library, "ProcessId");
    ASSERT_TRUE(processId);
    EXPECT_EQ(processId(), GetCurrentProcessId());

    pe::Layout layout;
    ASSERT_EQ(pe::ParseImage(image.data(), image.size(), pe::kHostMachine, &layout),
              pe::Status::kOk);
    EXPECT_EQ(library.GetEntryPoint(), base + layout.headers.entryPoint);

    EXPECT_TRUE(library.Free());
    EXPECT_EQ(library.GetBase(), 0u);
    EXPECT_TRUE(IsReleased(base));
    EXPECT_EQ(library.FindExport("AddNumbers"), 0u);
    EXPECT_EQ(library.GetEntryPoint(), 0u);
    EXPECT_TRUE(library.Free());
}

TEST_F(InMemoryLibraryTest, RunsADllLinkedWithTheRuntimes) {
    InMemoryLibrary library;
    ASSERT_TRUE(library.Load(FromBlob(test_runtime_dll_blob())));
    auto check = Export<int(__cdecl*)()>(library, "RuntimeCheck");
    ASSERT_TRUE(check);
    EXPECT_EQ(check(), 108);
    EXPECT_TRUE(library.Free());
}

TEST_F(InMemoryLibraryTest, RelocatesWhenThePreferredBaseIsTaken) {
    Bytes image = Plain();
    void* taken =
        VirtualAlloc(reinterpret_cast<void*>(kPlainBase), 0x10000, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(taken), kPlainBase);
    InMemoryLibrary library;
    ASSERT_TRUE(library.Load(image));
    EXPECT_NE(library.GetBase(), kPlainBase);

    auto counterAddress = Export<int*(__cdecl*)()>(library, "CounterAddress");
    auto readCounter = Export<int(__cdecl*)()>(library, "ReadCounter");
    int* counter = Export<int*>(library, "Counter");
    ASSERT_TRUE(counterAddress && readCounter && counter);
    EXPECT_EQ(counterAddress(), counter);
    EXPECT_EQ(readCounter(), 41);
    *counter = 5;
    EXPECT_EQ(readCounter(), 5);
    EXPECT_EQ(*Export<int*>(library, "AttachCount"), 1);

    EXPECT_TRUE(library.Free());
    VirtualFree(taken, 0, MEM_RELEASE);
}

TEST_F(InMemoryLibraryTest, ResolverSuppliesImportsOfAMissingModule) {
    InMemoryLibrary library;
    ASSERT_TRUE(library.Load(FromBlob(test_probe_dll_blob()), ProbeResolver, 0x5A5A));
    EXPECT_EQ(g_events, std::vector<unsigned>{1});
    const std::vector<ResolverCall> expected = {{"lzf-probe-host.dll", "ProbeRecord", 0x5A5A},
                                                {"lzf-probe-host.dll", "7", 0x5A5A}};
    EXPECT_EQ(g_resolverCalls, expected);

    auto ping = Export<int(__cdecl*)()>(library, "Ping");
    ASSERT_TRUE(ping);
    EXPECT_EQ(ping(), 43);
    EXPECT_TRUE(library.Free());
    EXPECT_EQ(g_events, (std::vector<unsigned>{1, 100, 0}));
}

TEST_F(InMemoryLibraryTest, UnresolvedImportFailsWithoutRunningTheEntry) {
    InMemoryLibrary library;
    EXPECT_FALSE(library.Load(FromBlob(test_probe_dll_blob())));
    EXPECT_EQ(library.GetBase(), 0u);
    EXPECT_FALSE(library.Load(FromBlob(test_probe_dll_blob()), RefusingResolver, 0));
    EXPECT_EQ(library.GetBase(), 0u);
    EXPECT_TRUE(g_events.empty());
    EXPECT_TRUE(IsReleased(0x21000000));  // the probe's preferred base
}

TEST_F(InMemoryLibraryTest, EntryRefusingAttachIsDetachedAndReleased) {
    InMemoryLibrary library;
    EXPECT_FALSE(library.Load(FromBlob(test_refuse_dll_blob()), ProbeResolver, 0));
    EXPECT_EQ(g_events, (std::vector<unsigned>{1, 0}));
    EXPECT_EQ(library.GetBase(), 0u);
    ASSERT_NE(g_lastCaller, 0u);
    EXPECT_TRUE(IsReleased(g_lastCaller));
}

TEST_F(InMemoryLibraryTest, NextLoadFreesTheLibraryHeld) {
    InMemoryLibrary library;
    ASSERT_TRUE(library.Load(FromBlob(test_probe_dll_blob()), ProbeResolver, 0));
    std::uintptr_t probeCode = g_lastCaller;
    ASSERT_TRUE(library.Load(Plain()));
    EXPECT_EQ(g_events, (std::vector<unsigned>{1, 0}));
    EXPECT_TRUE(IsReleased(probeCode));
    EXPECT_NE(library.FindExport("AddNumbers"), 0u);

    // A load that fails still frees what was held.
    std::uintptr_t plainBase = library.GetBase();
    EXPECT_FALSE(library.Load(Bytes(63, 0)));
    EXPECT_EQ(library.GetBase(), 0u);
    EXPECT_TRUE(IsReleased(plainBase));
}

TEST_F(InMemoryLibraryTest, BadImagesFailAndLeaveNothingMapped) {
    const Bytes good = Plain();
    pe::Layout layout;
    ASSERT_EQ(pe::ParseImage(good.data(), good.size(), pe::kHostMachine, &layout), pe::Status::kOk);
    const std::uint32_t nt = layout.headers.ntOffset;
    const std::size_t importDirectory = DirectoryOffset(pe::kHostMachine, 1) - 0x40 + nt;
    const std::size_t lastSection =
        layout.headers.sectionTableOffset + 40 * (layout.headers.sectionCount - 1);
    const long long relocations = pe::FileOffsetOfRva(layout, layout.headers.relocations.rva);
    ASSERT_GT(relocations, 0);

    // A DLL (no entry point) whose only import names a library that runs off the image end.
    SyntheticImage runaway = SyntheticImage::ForMachine(pe::kHostMachine);
    runaway.imageBase = kPlainBase;
    runaway.sectionAlignment = 0x200;
    runaway.sections.push_back({0x1000, 0, Bytes(0x200, 'x')});
    runaway.directories[1] = {0x1000, 40};
    Bytes& d = runaway.sections[0].data;
    std::fill(d.begin(), d.begin() + 0x100, 0);
    Put32(d, 12, 0x11F0);  // name
    Put32(d, 16, 0x1040);  // import address table
    Put32(d, 0x40, 0x80000001);

    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
    };
    const Case cases[] = {
        {"63 bytes", [](Bytes& b) { b.resize(63); }},
        {"no MZ", [](Bytes& b) { b[0] = 'N'; }},
        {"NT headers cut", [&](Bytes& b) { b.resize(nt + 100); }},
        {"not executable", [&](Bytes& b) { b[nt + 22] &= ~2; }},
        {"section data past the end",
         [&](Bytes& b) { Put32(b, lastSection + 20, static_cast<std::uint32_t>(b.size())); }},
        {"relocation block below 8 bytes", [&](Bytes& b) { Put32(b, relocations + 4, 6); }},
        {"import table past the image", [&](Bytes& b) { Put32(b, importDirectory, 0x7FFFFF00); }},
        {"import name runs off the end", [&](Bytes& b) { b = runaway.Build(); }},
    };
    for (const Case& c : cases) {
        Bytes b = good;
        c.damage(b);
        InMemoryLibrary library;
        EXPECT_FALSE(library.Load(b)) << c.what;
        EXPECT_EQ(library.GetBase(), 0u) << c.what;
        EXPECT_TRUE(IsReleased(kPlainBase)) << c.what;
    }
    InMemoryLibrary library;
    EXPECT_FALSE(library.Load(nullptr, 0));
    EXPECT_EQ(library.GetBase(), 0u);
}

TEST_F(InMemoryLibraryTest, AnImageOfTheOtherArchitectureIsRefused) {
    InMemoryLibrary library;
    EXPECT_FALSE(library.Load(FromBlob(other_architecture_dll_blob())));
    EXPECT_EQ(library.LastImageStatus(), pe::Status::kOtherArchitecture);
    EXPECT_EQ(library.GetBase(), 0u);
    EXPECT_TRUE(IsReleased(kPlainBase));
    ASSERT_TRUE(library.Load(Plain()));
    EXPECT_EQ(library.LastImageStatus(), pe::Status::kOk);
    EXPECT_TRUE(library.Free());
}

TEST_F(InMemoryLibraryTest, FreeReleasesTheLibrariesTheImportsLoaded) {
    // Nothing in this program loads version.dll but the plain DLL's imports, and the tests
    // before this one have freed every plain DLL they loaded.
    ASSERT_EQ(GetModuleHandleW(L"version.dll"), nullptr);
    InMemoryLibrary library;
    ASSERT_TRUE(library.Load(Plain()));
    EXPECT_NE(GetModuleHandleW(L"version.dll"), nullptr);
    EXPECT_TRUE(library.Free());
    EXPECT_EQ(GetModuleHandleW(L"version.dll"), nullptr);
}

TEST_F(InMemoryLibraryTest, DestroyKeepsTheMappingAndCopiesShareIt) {
    InMemoryLibrary keeper;
    {
        InMemoryLibrary library;
        ASSERT_TRUE(library.Load(Plain()));
        keeper = library;
    }
    const std::uintptr_t base = keeper.GetBase();
    ASSERT_NE(base, 0u);
    EXPECT_FALSE(IsReleased(base));
    EXPECT_NE(keeper.FindExport("AddNumbers"), 0u);

    // Headers overwritten: Free refuses and keeps the mapping.
    auto* mz = reinterpret_cast<std::uint8_t*>(base);
    mz[0] = 'X';
    EXPECT_FALSE(keeper.Free());
    EXPECT_EQ(keeper.GetBase(), base);
    mz[0] = 'M';

    InMemoryLibrary copy(keeper);
    EXPECT_TRUE(copy.Free());
    EXPECT_TRUE(IsReleased(base));
    // The other copy sees the mapping gone instead of reading released memory.
    EXPECT_EQ(keeper.FindExport("AddNumbers"), 0u);
    EXPECT_FALSE(keeper.Free());
    EXPECT_TRUE(keeper.Load(Plain()));
    EXPECT_TRUE(keeper.Free());
}

}  // namespace
