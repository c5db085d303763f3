#include "tests/decor/fuzz_pe_target.h"

#include <cstring>
#include <string>
#include <vector>

#include "decor/pe_image.h"

namespace {

// Smaller than the loader's limit so that each input stays quick.
constexpr std::uint32_t kFuzzMaxImageSize = 1u << 20;

// Hands out fake non-zero addresses: above 4 GiB for a PE32+ image, and now and then for a
// PE32 one (whose entries cannot hold them). Refuses a few symbols so that the failure paths run
// as well. Reads every name it is given in full, so a name that does not end inside the image
// shows up as a sanitizer report.
class StubBinder : public pe::ImportBinder {
  public:
    explicit StubBinder(bool wide) : wide_(wide) {}
    void BeginLibrary(const char* library) override { hash_ = Hash(library, 0x811C9DC5u); }
    std::uint64_t Resolve(const char* library, const pe::ImportSymbol& symbol) override {
        std::uint32_t h = Hash(symbol.text, Hash(library, hash_));
        if (h % 61 == 0)
            return 0;
        const bool high = wide_ || h % 89 == 0;
        return (high ? 0x7FF000000000 : 0) | 0x10000000u | (h & 0x0FFFFFF0u) | 4;
    }

  private:
    static std::uint32_t Hash(const char* text, std::uint32_t h) {
        for (std::size_t i = 0, n = std::strlen(text); i < n; ++i)
            h = (h ^ static_cast<unsigned char>(text[i])) * 16777619u;
        return h;
    }
    bool wide_;
    std::uint32_t hash_ = 0;
};

}  // namespace

FuzzPeStats& FuzzPeStatistics() {
    static FuzzPeStats stats;
    return stats;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzPeStats& stats = FuzzPeStatistics();
    ++stats.inputs;
    // The buffer is copied so that the sanitizer sees its exact bounds.
    std::vector<std::uint8_t> file(data, data + size);
    // Each image is read as what its header claims to be: i386 or x86-64.
    pe::Layout layout;
    pe::Status status =
        pe::ParseImage(file.data(), file.size(), pe::Machine::kI386, &layout, kFuzzMaxImageSize);
    if (status == pe::Status::kOtherArchitecture)
        status = pe::ParseImage(file.data(), file.size(), pe::Machine::kAmd64, &layout,
                                kFuzzMaxImageSize);
    if (status != pe::Status::kOk)
        return 0;
    ++stats.parsed;
    std::vector<std::uint8_t> image(layout.imageSize, 0);
    pe::CopyImage(file.data(), file.size(), layout, image.data());

    std::uint64_t base = layout.headers.imageBase + (size > 0x80 ? file[0x80] << 16 : 0x10000);
    if (layout.headers.IsPe32Plus() && size > 0x81 && (file[0x81] & 1))
        base += std::uint64_t{0x7FF0} << 32;  // far above the preferred base
    if (pe::ApplyRelocations(image.data(), layout, base) != pe::Status::kOk)
        return 0;
    ++stats.relocated;
    StubBinder binder(layout.headers.IsPe32Plus());
    if (pe::BindImports(image.data(), layout, binder) != pe::Status::kOk)
        return 0;
    ++stats.bound;
    stats.bound64 += layout.headers.IsPe32Plus();

    pe::Headers headers;
    if (pe::ReadHeaders(image.data(), image.size(), &headers) != pe::Status::kOk)
        return 0;
    static const char* const kNames[] = {"1",  "2",           "3",         "0",       "-1",
                                         "11", "AddNumbers",  "Ping",      "Counter", "DllEntry@12",
                                         "",   "ReadCounter", "4294967297"};
    for (const char* name : kNames) {
        if (pe::FindExportRva(image.data(), image.size(), name) != 0)
            ++stats.exportsFound;
    }
    return 0;
}
