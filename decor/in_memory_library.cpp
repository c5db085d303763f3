#include "decor/in_memory_library.h"

#include <windows.h>

#include <string>

#include "core/codepage.h"
#include "decor/pe_image.h"

namespace {

constexpr DWORD kProcessDetach = 0;
constexpr DWORD kProcessAttach = 1;

using DllEntry = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

// Asks the caller's resolver first, then the library named by the import descriptor.
class SystemBinder : public pe::ImportBinder {
  public:
    SystemBinder(ImportResolver resolver, std::uintptr_t argument)
        : resolver_(resolver), argument_(argument) {}

    void BeginLibrary(const char* library) override {
        std::u16string wide = codepage::ToWide(library, codepage::kGbk);
        current_ = LoadLibraryW(reinterpret_cast<const wchar_t*>(wide.c_str()));
        if (current_)
            modules_.push_back(current_);
    }

    std::uint64_t Resolve(const char* library, const pe::ImportSymbol& symbol) override {
        if (resolver_) {
            if (std::uintptr_t address = resolver_(library, symbol.text, argument_))
                return address;
        }
        // A library that could not be loaded has no symbols (GetProcAddress would take a
        // null handle for the program itself).
        if (!current_)
            return 0;
        LPCSTR which = symbol.byOrdinal ? MAKEINTRESOURCEA(symbol.ordinal) : symbol.text;
        if (symbol.byOrdinal && symbol.ordinal == 0)
            return 0;
        return reinterpret_cast<std::uintptr_t>(GetProcAddress(current_, which));
    }

    std::vector<void*>& modules() { return modules_; }

  private:
    ImportResolver resolver_;
    std::uintptr_t argument_;
    HMODULE current_ = nullptr;
    std::vector<void*> modules_;
};

void FreeModules(std::vector<void*>& modules) {
    // Newest first, the reverse of the order they were loaded in.
    for (auto it = modules.rbegin(); it != modules.rend(); ++it)
        FreeLibrary(static_cast<HMODULE>(*it));
    modules.clear();
}

#ifdef _WIN64
// The image's table of RUNTIME_FUNCTION entries, or nullptr when it has none inside the
// image. Without it registered, an exception thrown inside the library cannot be unwound.
PRUNTIME_FUNCTION UnwindTable(std::uintptr_t base,
                              std::size_t size,
                              const pe::Headers& headers,
                              DWORD* count) {
    const pe::DataDirectory& dir = headers.exceptions;
    *count = static_cast<DWORD>(dir.size / sizeof(RUNTIME_FUNCTION));
    if (*count == 0 || dir.rva > size || dir.size > size - dir.rva)
        return nullptr;
    return reinterpret_cast<PRUNTIME_FUNCTION>(base + dir.rva);
}

bool RegisterUnwindTable(std::uintptr_t base, std::size_t size, const pe::Headers& headers) {
    DWORD count = 0;
    PRUNTIME_FUNCTION table = UnwindTable(base, size, headers, &count);
    return !table || RtlAddFunctionTable(table, count, base);
}

void UnregisterUnwindTable(std::uintptr_t base, std::size_t size, const pe::Headers& headers) {
    DWORD count = 0;
    if (PRUNTIME_FUNCTION table = UnwindTable(base, size, headers, &count))
        RtlDeleteFunctionTable(table);
}
#else
// i686 code unwinds through frame chains on the stack: nothing to register.
bool RegisterUnwindTable(std::uintptr_t, std::size_t, const pe::Headers&) {
    return true;
}

void UnregisterUnwindTable(std::uintptr_t, std::size_t, const pe::Headers&) {}
#endif

void CallEntry(std::uintptr_t base, std::uint32_t entryRva, DWORD reason, BOOL* result) {
    auto entry = reinterpret_cast<DllEntry>(base + entryRva);
    // The module handle passed is 0, not the base: the carried skin library expects that.
    BOOL r = entry(nullptr, reason, nullptr);
    if (result)
        *result = r;
}

}  // namespace

InMemoryLibrary::~InMemoryLibrary() = default;

InMemoryLibrary::InMemoryLibrary(const InMemoryLibrary& other) = default;

InMemoryLibrary& InMemoryLibrary::operator=(const InMemoryLibrary& other) = default;

bool InMemoryLibrary::MappingIsIntact() const {
    if (base_ == 0 || size_ == 0)
        return false;
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(reinterpret_cast<void*>(base_), &info, sizeof info) != sizeof info)
        return false;
    return info.State == MEM_COMMIT &&
           reinterpret_cast<std::uintptr_t>(info.AllocationBase) == base_;
}

bool InMemoryLibrary::Load(const std::uint8_t* bytes,
                           std::size_t size,
                           ImportResolver resolver,
                           std::uintptr_t resolverArgument) {
    if (base_ != 0 && !Free()) {
        // The old mapping's headers were overwritten, so it cannot be detached; leave it
        // where it is (releasing code that may still be hooked in would be worse).
        base_ = 0;
        size_ = 0;
        importModules_.reset();
    }
    if (!bytes) {
        imageStatus_ = pe::Status::kTooSmall;
        return false;
    }

    pe::Layout layout;
    imageStatus_ = pe::ParseImage(bytes, size, pe::kHostMachine, &layout);
    if (imageStatus_ != pe::Status::kOk)
        return false;

    const DWORD kind = MEM_RESERVE | MEM_COMMIT;
    // The reader checked the machine, so a PE32 base (this is then a 32-bit process) fits.
    void* memory =
        VirtualAlloc(reinterpret_cast<void*>(static_cast<std::uintptr_t>(layout.headers.imageBase)),
                     layout.imageSize, kind, PAGE_EXECUTE_READWRITE);
    if (!memory)
        memory = VirtualAlloc(nullptr, layout.imageSize, kind, PAGE_EXECUTE_READWRITE);
    if (!memory)
        return false;
    auto* image = static_cast<std::uint8_t*>(memory);
    const auto base = reinterpret_cast<std::uintptr_t>(memory);

    pe::CopyImage(bytes, size, layout, image);
    SystemBinder binder(resolver, resolverArgument);
    imageStatus_ = pe::ApplyRelocations(image, layout, base);
    if (imageStatus_ == pe::Status::kOk)
        imageStatus_ = pe::BindImports(image, layout, binder);
    bool ok = imageStatus_ == pe::Status::kOk;
    bool unwindRegistered = false;
    if (ok) {
        FlushInstructionCache(GetCurrentProcess(), memory, layout.imageSize);
        ok = unwindRegistered = RegisterUnwindTable(base, layout.imageSize, layout.headers);
    }
    if (ok) {
        // A DLL without an entry point (RVA 0) has nothing to run.
        if (layout.headers.IsDll() && layout.headers.entryPoint != 0) {
            BOOL attached = FALSE;
            CallEntry(base, layout.headers.entryPoint, kProcessAttach, &attached);
            if (!attached) {
                CallEntry(base, layout.headers.entryPoint, kProcessDetach, nullptr);
                ok = false;
            }
        }
    }
    if (!ok) {
        if (unwindRegistered)
            UnregisterUnwindTable(base, layout.imageSize, layout.headers);
        VirtualFree(memory, 0, MEM_RELEASE);
        FreeModules(binder.modules());
        return false;
    }
    base_ = base;
    size_ = layout.imageSize;
    importModules_ = std::make_shared<std::vector<void*>>(std::move(binder.modules()));
    return true;
}

bool InMemoryLibrary::Free() {
    if (base_ == 0)
        return true;
    if (!MappingIsIntact())
        return false;
    pe::Headers headers;
    auto* image = reinterpret_cast<const std::uint8_t*>(base_);
    if (pe::ReadHeaders(image, size_, &headers) != pe::Status::kOk)
        return false;
    if (headers.IsDll() && headers.entryPoint != 0 && headers.entryPoint < size_)
        CallEntry(base_, headers.entryPoint, kProcessDetach, nullptr);
    UnregisterUnwindTable(base_, size_, headers);
    if (!VirtualFree(reinterpret_cast<void*>(base_), 0, MEM_RELEASE))
        return false;
    base_ = 0;
    size_ = 0;
    if (importModules_)
        FreeModules(*importModules_);
    importModules_.reset();
    return true;
}

std::uintptr_t InMemoryLibrary::FindExport(const char* name) const {
    if (!name || !MappingIsIntact())
        return 0;
    std::uint32_t rva =
        pe::FindExportRva(reinterpret_cast<const std::uint8_t*>(base_), size_, name);
    return rva ? base_ + rva : 0;
}

std::uintptr_t InMemoryLibrary::GetEntryPoint() const {
    if (!MappingIsIntact())
        return 0;
    pe::Headers headers;
    if (pe::ReadHeaders(reinterpret_cast<const std::uint8_t*>(base_), size_, &headers) !=
        pe::Status::kOk)
        return 0;
    return base_ + headers.entryPoint;
}
