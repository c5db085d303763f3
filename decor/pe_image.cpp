#include "decor/pe_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace pe {
namespace {

constexpr std::uint16_t kDosSignature = 0x5A4D;  // "MZ"
constexpr std::uint32_t kNtSignature = 0x4550;   // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kDosHeaderSize = 64;
constexpr std::uint32_t kFileHeaderSize = 20;
// Signature, file header and the whole optional header with its 16 data directories.
constexpr std::uint32_t kNtHeadersSize32 = 248;
constexpr std::uint32_t kNtHeadersSize64 = 264;
// The optional header's fields before the data directories.
constexpr std::uint32_t kDirectoriesAt32 = 96;
constexpr std::uint32_t kDirectoriesAt64 = 112;
constexpr std::uint32_t kSectionHeaderSize = 40;
constexpr std::uint32_t kExportDirectorySize = 40;
constexpr std::uint32_t kImportDescriptorSize = 20;
constexpr std::uint32_t kRelocationBlockHeader = 8;
constexpr std::uint16_t kRelocHighLow = 3;
constexpr std::uint16_t kRelocDir64 = 10;

std::uint16_t Read16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Read32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t Read64(const std::uint8_t* p) {
    return Read32(p) | (std::uint64_t{Read32(p + 4)} << 32);
}

void Write32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

void Write64(std::uint8_t* p, std::uint64_t v) {
    Write32(p, static_cast<std::uint32_t>(v));
    Write32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes. Offsets and
// lengths come from 32-bit fields, so 64-bit arithmetic cannot overflow.
bool InRange(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

// The zero-terminated text at `offset`, or nullptr when it does not end inside the buffer.
const char* TextAt(const std::uint8_t* data, std::size_t size, std::uint64_t offset) {
    if (offset >= size)
        return nullptr;
    const void* end = std::memchr(data + offset, 0, size - static_cast<std::size_t>(offset));
    return end ? reinterpret_cast<const char*>(data + offset) : nullptr;
}

DataDirectory ReadDirectory(const std::uint8_t* optional,
                            std::uint32_t optionalSize,
                            std::uint32_t directoriesAt,
                            std::uint32_t count,
                            std::uint32_t index) {
    DataDirectory dir;
    std::uint32_t at = directoriesAt + 8 * index;
    if (index < count && at + 8 <= optionalSize) {
        dir.rva = Read32(optional + at);
        dir.size = Read32(optional + at + 4);
    }
    return dir;
}

// Parses a decimal integer written the way converting an int to text writes it: an optional
// "-", no leading zeros, inside the int range.
bool ParseCanonicalInt(const char* text, long long* value) {
    std::size_t length = std::strlen(text);
    if (length == 0 || length > 11)
        return false;
    long long v = 0;
    std::size_t i = text[0] == '-' ? 1 : 0;
    if (i == length)
        return false;
    for (std::size_t k = i; k < length; ++k) {
        if (text[k] < '0' || text[k] > '9')
            return false;
        v = v * 10 + (text[k] - '0');
    }
    if (i == 1)
        v = -v;
    if (v < -2147483648LL || v > 2147483647LL)
        return false;
    char back[16];
    std::snprintf(back, sizeof back, "%lld", v);
    if (std::strcmp(back, text) != 0)
        return false;
    *value = v;
    return true;
}

struct ExportDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
    std::uint32_t ordinalBase = 0;
    std::uint32_t functionCount = 0;
    std::uint32_t nameCount = 0;
    std::uint32_t functions = 0;
    std::uint32_t names = 0;
    std::uint32_t nameOrdinals = 0;
};

// The RVA held in slot `index` of the function table, 0 for an empty slot, a slot outside
// the image, a forwarder or an address outside the image.
std::uint32_t FunctionAt(const std::uint8_t* image,
                         std::size_t imageSize,
                         const ExportDirectory& dir,
                         std::uint64_t index) {
    if (index >= dir.functionCount)
        return 0;
    std::uint64_t slot = dir.functions + 4 * index;
    if (!InRange(slot, 4, imageSize))
        return 0;
    std::uint32_t rva = Read32(image + slot);
    if (rva == 0 || rva >= imageSize)
        return 0;
    // An address inside the export directory is a forwarder text ("OTHER.Name"), not code.
    if (rva >= dir.rva && rva - dir.rva < dir.size)
        return 0;
    return rva;
}

}  // namespace

const char* StatusName(Status status) {
    switch (status) {
        case Status::kOk:
            return "ok";
        case Status::kTooSmall:
            return "too small";
        case Status::kNoDosSignature:
            return "no MZ signature";
        case Status::kNoNtHeaders:
            return "no PE32 or PE32+ headers";
        case Status::kNotExecutable:
            return "not an executable image";
        case Status::kWrongMachine:
            return "neither an i386 nor an x86-64 image";
        case Status::kOtherArchitecture:
            return "an image for the other architecture";
        case Status::kSectionTableCut:
            return "section table cut off";
        case Status::kBadImageSize:
            return "bad image size";
        case Status::kSectionOutsideFile:
            return "section data outside the file";
        case Status::kBadRelocations:
            return "bad relocations";
        case Status::kBadImports:
            return "bad import table";
        case Status::kImportUnresolved:
            return "import not found";
        case Status::kBadEntryPoint:
            return "entry point outside the image";
    }
    return "?";
}

Status ReadHeaders(const std::uint8_t* data, std::size_t size, Headers* headers) {
    if (size < kDosHeaderSize)
        return Status::kTooSmall;
    if (Read16(data) != kDosSignature)
        return Status::kNoDosSignature;
    Headers h;
    h.ntOffset = Read32(data + 0x3C);
    // The magic first, then the size of the headers it announces.
    if (!InRange(h.ntOffset, 4 + kFileHeaderSize + 2, size))
        return Status::kNoNtHeaders;
    const std::uint8_t* nt = data + h.ntOffset;
    if (Read32(nt) != kNtSignature)
        return Status::kNoNtHeaders;
    const std::uint8_t* file = nt + 4;
    const std::uint8_t* optional = file + kFileHeaderSize;
    h.magic = Read16(optional);
    if (h.magic != kPe32Magic && h.magic != kPe32PlusMagic)
        return Status::kNoNtHeaders;
    const bool plus = h.IsPe32Plus();
    if (!InRange(h.ntOffset, plus ? kNtHeadersSize64 : kNtHeadersSize32, size))
        return Status::kNoNtHeaders;
    h.machine = Read16(file);
    h.sectionCount = Read16(file + 2);
    std::uint16_t optionalSize = Read16(file + 16);
    h.characteristics = Read16(file + 18);
    const std::uint32_t directoriesAt = plus ? kDirectoriesAt64 : kDirectoriesAt32;
    if (optionalSize < directoriesAt)
        return Status::kNoNtHeaders;
    h.entryPoint = Read32(optional + 16);
    h.imageBase = plus ? Read64(optional + 24) : Read32(optional + 28);
    h.sectionAlignment = Read32(optional + 32);
    h.sizeOfImage = Read32(optional + 56);
    std::uint32_t directoryCount = Read32(optional + directoriesAt - 4);
    h.exports = ReadDirectory(optional, optionalSize, directoriesAt, directoryCount, 0);
    h.imports = ReadDirectory(optional, optionalSize, directoriesAt, directoryCount, 1);
    h.exceptions = ReadDirectory(optional, optionalSize, directoriesAt, directoryCount, 3);
    h.relocations = ReadDirectory(optional, optionalSize, directoriesAt, directoryCount, 5);

    std::uint64_t table = std::uint64_t{h.ntOffset} + 4 + kFileHeaderSize + optionalSize;
    std::uint64_t tableEnd = table + std::uint64_t{kSectionHeaderSize} * h.sectionCount;
    if (tableEnd > size)
        return Status::kSectionTableCut;
    h.sectionTableOffset = static_cast<std::uint32_t>(table);
    h.headerBytes = static_cast<std::uint32_t>(tableEnd);
    *headers = h;
    return Status::kOk;
}

Status ParseImage(const std::uint8_t* data,
                  std::size_t size,
                  Machine machine,
                  Layout* layout,
                  std::uint32_t maxImageSize) {
    Layout out;
    Status status = ReadHeaders(data, size, &out.headers);
    if (status != Status::kOk)
        return status;
    const Headers& h = out.headers;
    if (!h.IsExecutable())
        return Status::kNotExecutable;
    const auto x86 = static_cast<std::uint16_t>(Machine::kI386);
    const auto amd64 = static_cast<std::uint16_t>(Machine::kAmd64);
    if (h.machine != x86 && h.machine != amd64)
        return Status::kWrongMachine;
    if (h.machine != static_cast<std::uint16_t>(machine))
        return Status::kOtherArchitecture;
    // The address size of thunks and relocations follows the header kind: it must be the
    // machine's own.
    if (h.IsPe32Plus() != (h.machine == amd64))
        return Status::kNoNtHeaders;
    if (h.sectionAlignment == 0)
        return Status::kBadImageSize;

    std::uint64_t imageSize = h.sizeOfImage;
    out.sections.reserve(h.sectionCount);
    for (std::uint32_t i = 0; i < h.sectionCount; ++i) {
        const std::uint8_t* p = data + h.sectionTableOffset + kSectionHeaderSize * i;
        Section s;
        s.virtualSize = Read32(p + 8);
        s.virtualAddress = Read32(p + 12);
        s.rawSize = Read32(p + 16);
        s.rawPointer = Read32(p + 20);
        std::uint64_t end = std::uint64_t{s.virtualAddress} + std::max(s.rawSize, s.virtualSize);
        std::uint64_t a = h.sectionAlignment;
        end = (end + a - 1) / a * a;
        imageSize = std::max(imageSize, end);
        if (s.rawSize != 0 && s.virtualAddress != 0 && !InRange(s.rawPointer, s.rawSize, size))
            return Status::kSectionOutsideFile;
        out.sections.push_back(s);
    }
    if (imageSize == 0 || imageSize > maxImageSize || imageSize < h.headerBytes)
        return Status::kBadImageSize;
    out.imageSize = static_cast<std::uint32_t>(imageSize);
    if (h.IsDll() && h.entryPoint >= out.imageSize)
        return Status::kBadEntryPoint;
    *layout = std::move(out);
    return Status::kOk;
}

void CopyImage(const std::uint8_t* data,
               std::size_t size,
               const Layout& layout,
               std::uint8_t* image) {
    std::size_t headerBytes =
        std::min<std::size_t>({layout.headers.headerBytes, size, layout.imageSize});
    std::memcpy(image, data, headerBytes);
    for (const Section& s : layout.sections) {
        if (s.rawSize == 0 || s.virtualAddress == 0)
            continue;
        // ParseImage has checked both ranges; checking again keeps this safe on its own.
        if (InRange(s.rawPointer, s.rawSize, size) &&
            InRange(s.virtualAddress, s.rawSize, layout.imageSize))
            std::memcpy(image + s.virtualAddress, data + s.rawPointer, s.rawSize);
    }
}

Status ApplyRelocations(std::uint8_t* image, const Layout& layout, std::uint64_t actualBase) {
    const DataDirectory& dir = layout.headers.relocations;
    if (dir.size == 0)
        return Status::kOk;
    if (!InRange(dir.rva, dir.size, layout.imageSize))
        return Status::kBadRelocations;
    // Modular arithmetic: a base below the preferred one wraps, and adding wraps back.
    const std::uint64_t delta = actualBase - layout.headers.imageBase;
    const std::uint32_t width = layout.headers.AddressSize();
    const std::uint16_t kind = width == 8 ? kRelocDir64 : kRelocHighLow;
    const std::uint8_t* blocks = image + dir.rva;
    std::uint32_t pos = 0;
    // Blocks run until the end of the directory or a block for page 0; a few bytes too
    // short for a block header are padding.
    while (dir.size - pos >= kRelocationBlockHeader) {
        std::uint32_t page = Read32(blocks + pos);
        std::uint32_t blockSize = Read32(blocks + pos + 4);
        if (page == 0)
            break;
        if (blockSize < kRelocationBlockHeader || blockSize > dir.size - pos)
            return Status::kBadRelocations;
        std::uint32_t entries = (blockSize - kRelocationBlockHeader) / 2;
        for (std::uint32_t i = 0; i < entries; ++i) {
            std::uint16_t entry = Read16(blocks + pos + kRelocationBlockHeader + 2 * i);
            if ((entry >> 12) != kind)
                continue;
            std::uint64_t target = std::uint64_t{page} + (entry & 0x0FFF);
            if (!InRange(target, width, layout.imageSize))
                return Status::kBadRelocations;
            if (width == 8)
                Write64(image + target, Read64(image + target) + delta);
            else
                Write32(image + target, Read32(image + target) + static_cast<std::uint32_t>(delta));
        }
        pos += blockSize;
    }
    return Status::kOk;
}

Status BindImports(std::uint8_t* image, const Layout& layout, ImportBinder& binder) {
    const DataDirectory& dir = layout.headers.imports;
    if (dir.size == 0)
        return Status::kOk;
    const std::size_t imageSize = layout.imageSize;
    const std::uint32_t width = layout.headers.AddressSize();
    const std::uint64_t ordinalFlag = width == 8 ? std::uint64_t{1} << 63 : 0x80000000u;
    const std::uint64_t widest = width == 8 ? ~std::uint64_t{0} : 0xFFFFFFFFu;
    for (std::uint64_t desc = dir.rva;; desc += kImportDescriptorSize) {
        if (!InRange(desc, kImportDescriptorSize, imageSize))
            return Status::kBadImports;
        std::uint32_t nameRva = Read32(image + desc + 12);
        std::uint32_t table = Read32(image + desc + 16);
        if (table == 0)
            return Status::kOk;
        const char* name = TextAt(image, imageSize, nameRva);
        if (!name)
            return Status::kBadImports;
        // A copy: the addresses written below may land on the name itself.
        const std::string library(name);
        binder.BeginLibrary(library.c_str());
        for (std::uint64_t slot = table;; slot += width) {
            if (!InRange(slot, width, imageSize))
                return Status::kBadImports;
            const std::uint64_t entry = width == 8 ? Read64(image + slot) : Read32(image + slot);
            if (entry == 0)
                break;
            ImportSymbol symbol;
            char ordinalText[8];
            if (entry & ordinalFlag) {
                symbol.byOrdinal = true;
                symbol.ordinal = static_cast<std::uint16_t>(entry & 0xFFFF);
                std::snprintf(ordinalText, sizeof ordinalText, "%u", unsigned{symbol.ordinal});
                symbol.text = ordinalText;
            } else {
                // Hint (16 bits), then the name. The flag is clear, so adding cannot wrap.
                symbol.text = TextAt(image, imageSize, entry + 2);
                if (!symbol.text)
                    return Status::kBadImports;
            }
            const std::uint64_t address = binder.Resolve(library.c_str(), symbol);
            if (address == 0 || address > widest)
                return Status::kImportUnresolved;
            if (width == 8)
                Write64(image + slot, address);
            else
                Write32(image + slot, static_cast<std::uint32_t>(address));
        }
    }
}

std::uint32_t FindExportRva(const std::uint8_t* image, std::size_t imageSize, const char* name) {
    Headers h;
    if (!name || ReadHeaders(image, imageSize, &h) != Status::kOk || h.exports.size == 0)
        return 0;
    if (!InRange(h.exports.rva, kExportDirectorySize, imageSize))
        return 0;
    const std::uint8_t* p = image + h.exports.rva;
    ExportDirectory dir;
    dir.rva = h.exports.rva;
    dir.size = h.exports.size;
    dir.ordinalBase = Read32(p + 16);
    dir.functionCount = Read32(p + 20);
    dir.nameCount = Read32(p + 24);
    dir.functions = Read32(p + 28);
    dir.names = Read32(p + 32);
    dir.nameOrdinals = Read32(p + 36);

    long long ordinal = 0;
    if (ParseCanonicalInt(name, &ordinal)) {
        long long index = ordinal - static_cast<long long>(dir.ordinalBase);
        if (index < 0)
            return 0;
        return FunctionAt(image, imageSize, dir, static_cast<std::uint64_t>(index));
    }

    for (std::uint64_t i = 0; i < dir.nameCount; ++i) {
        std::uint64_t nameSlot = std::uint64_t{dir.names} + 4 * i;
        std::uint64_t ordinalSlot = std::uint64_t{dir.nameOrdinals} + 2 * i;
        if (!InRange(nameSlot, 4, imageSize) || !InRange(ordinalSlot, 2, imageSize))
            return 0;
        const char* exported = TextAt(image, imageSize, Read32(image + nameSlot));
        std::uint16_t index = Read16(image + ordinalSlot);
        if (!exported || index >= dir.functionCount || std::strcmp(exported, name) != 0)
            continue;
        if (std::uint32_t rva = FunctionAt(image, imageSize, dir, index))
            return rva;
    }
    return 0;
}

long long FileOffsetOfRva(const Layout& layout, std::uint32_t rva) {
    if (rva < layout.headers.headerBytes)
        return rva;
    for (const Section& s : layout.sections) {
        if (s.rawSize != 0 && rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize)
            return static_cast<long long>(s.rawPointer) + (rva - s.virtualAddress);
    }
    return -1;
}

}  // namespace pe
