// Reading and mapping Windows DLL images held in a plain byte buffer: PE32 (i386) and PE32+
// (x86-64).
//
// This is the platform-free half of the in-memory loader: it checks the headers, works out
// how much memory the image needs, copies headers and sections into a zero-filled target
// buffer, applies base relocations, binds imports through an ImportBinder and looks up
// exports. It never executes anything and never reads or writes outside the buffers it is
// given, whatever the image holds: every offset, size and RVA is checked first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pe {

// Images that claim more memory than this are refused.
constexpr std::uint32_t kMaxImageSize = 256u << 20;

// The architectures an image can be for (the file header's machine field).
enum class Machine : std::uint16_t {
    kI386 = 0x14C,   // PE32 optional header, 32-bit addresses
    kAmd64 = 0x8664  // PE32+ optional header, 64-bit addresses
};

// The architecture of this program: the only one whose images it can run.
constexpr Machine kHostMachine = sizeof(void*) == 8 ? Machine::kAmd64 : Machine::kI386;

enum class Status {
    kOk,
    kTooSmall,            // fewer than 64 bytes
    kNoDosSignature,      // does not start with "MZ"
    kNoNtHeaders,         // NT headers cut off, wrong signature, or an optional header that
                          // is neither PE32 nor PE32+ or does not match the machine
    kNotExecutable,       // file header lacks the executable-image flag
    kWrongMachine,        // neither an i386 nor an x86-64 image
    kOtherArchitecture,   // an i386 image where x86-64 is wanted, or the other way round
    kSectionTableCut,     // section table runs past the end of the buffer
    kBadImageSize,        // image size 0, too large, or zero section alignment
    kSectionOutsideFile,  // a section's raw data lies outside the buffer
    kBadRelocations,      // relocation directory, block or target outside the image
    kBadImports,          // import descriptor, thunk or name outside the image
    kImportUnresolved,    // an imported symbol could not be found
    kBadEntryPoint,       // entry point outside the image
};

// A short English name for logs and test messages.
const char* StatusName(Status status);

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawPointer = 0;
    std::uint32_t rawSize = 0;
};

// The header fields the loader works with.
struct Headers {
    std::uint32_t ntOffset = 0;  // e_lfanew
    std::uint16_t machine = 0;
    std::uint16_t sectionCount = 0;
    std::uint16_t characteristics = 0;
    std::uint32_t sectionTableOffset = 0;
    std::uint32_t headerBytes = 0;  // headers up to the end of the section table
    std::uint16_t magic = 0;        // optional header: 0x10B PE32, 0x20B PE32+
    std::uint32_t entryPoint = 0;   // RVA
    std::uint64_t imageBase = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t sizeOfImage = 0;  // as declared by the optional header
    DataDirectory exports;
    DataDirectory imports;
    DataDirectory exceptions;  // x86-64 unwind table (RUNTIME_FUNCTION entries)
    DataDirectory relocations;

    bool IsExecutable() const { return (characteristics & 0x0002) != 0; }
    bool IsDll() const { return (characteristics & 0x2000) != 0; }
    bool IsPe32Plus() const { return magic == 0x20B; }
    // Bytes of an address in the image: import thunks, DIR64 relocation targets.
    std::uint32_t AddressSize() const { return IsPe32Plus() ? 8 : 4; }
};

// Everything needed to map an image.
struct Layout {
    Headers headers;
    std::vector<Section> sections;
    std::uint32_t imageSize = 0;  // bytes of memory the mapped image occupies
};

// Reads the DOS and NT headers at the start of `data`: the "MZ" and "PE\0\0" signatures, a
// PE32 or PE32+ optional header and a section table that fits in `size` bytes. Used both on a file
// image and on a mapped one (whose headers were copied to its start).
Status ReadHeaders(const std::uint8_t* data, std::size_t size, Headers* headers);

// Reads the headers and section table of a file image and checks that it can be mapped: an
// executable image for `machine` (an i386 image has a PE32 optional header, an x86-64 one a
// PE32+ header) whose sections' raw data lie inside the buffer and whose memory size (the
// larger of the declared size and the end of every section, rounded up to the section
// alignment) is between 1 and `maxImageSize` bytes.
Status ParseImage(const std::uint8_t* data,
                  std::size_t size,
                  Machine machine,
                  Layout* layout,
                  std::uint32_t maxImageSize = kMaxImageSize);

// Copies the headers (up to the end of the section table) and every section's raw data to
// `image`, which holds layout.imageSize zero bytes. `data`/`size` and `layout` must come from
// a successful ParseImage.
void CopyImage(const std::uint8_t* data,
               std::size_t size,
               const Layout& layout,
               std::uint8_t* image);

// Adds (actualBase - preferred image base) to every relocation target of the image's address
// size: 32-bit high-low ones in a PE32 image, 64-bit DIR64 ones in a PE32+ image; other kinds
// are left alone. Fails without completing when a block or a target lies outside the image.
Status ApplyRelocations(std::uint8_t* image, const Layout& layout, std::uint64_t actualBase);

// One imported symbol, as the import address table names it.
struct ImportSymbol {
    const char* text = nullptr;  // the name, or the ordinal written in decimal
    bool byOrdinal = false;
    std::uint16_t ordinal = 0;
};

// Supplies the addresses of imported symbols while BindImports walks the import table.
class ImportBinder {
  public:
    // The next import descriptor names `library`; the symbols asked for until the next call
    // belong to it.
    virtual void BeginLibrary(const char* library) = 0;
    // The address of `symbol` of `library` (the library last begun), or 0 when not found.
    virtual std::uint64_t Resolve(const char* library, const ImportSymbol& symbol) = 0;

  protected:
    ~ImportBinder() = default;
};

// Walks the import descriptors and, for each, its import address table (entries of the
// image's address size, the top bit marking an import by ordinal), writing the address the
// binder gives over every entry. Fails at the first symbol the binder cannot find (or finds at
// an address a PE32 entry cannot hold) or the first descriptor, entry or name that lies
// outside the image.
Status BindImports(std::uint8_t* image, const Layout& layout, ImportBinder& binder);

// The RVA of the export `name` of the mapped image at `image` (`imageSize` bytes), or 0.
// A name that is a decimal integer ("1", "-3"; not "01" or "+1") is an ordinal; any other
// name is compared case-sensitively with the exported names. Exports that forward to another
// library, and unused slots of the function table, give 0.
std::uint32_t FindExportRva(const std::uint8_t* image, std::size_t imageSize, const char* name);

// The offset in the file image of `rva`, or -1 when no section's raw data (nor the headers)
// hold it.
long long FileOffsetOfRva(const Layout& layout, std::uint32_t rva);

}  // namespace pe
