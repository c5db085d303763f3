// InMemoryLibrary: maps a DLL image built for this program's own architecture (PE32 on i686,
// PE32+ on x86-64) from a byte buffer into the process and calls its entry point, without the
// image ever being a file. The program carries its skin library this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/types.h"
#include "decor/pe_image.h"

// Answers an import before the system is asked: library name, symbol (its name, or the
// ordinal written in decimal) and the argument given to Load. 0 leaves the symbol to the
// system (the library loaded by name, then GetProcAddress).
using ImportResolver = std::uintptr_t(__stdcall*)(const char* library,
                                                  const char* symbol,
                                                  std::uintptr_t argument);

class InMemoryLibrary {
  public:
    InMemoryLibrary() = default;
    // Does nothing: a library that is still mapped stays mapped until the process ends.
    ~InMemoryLibrary();
    // Copies refer to the same mapping.
    InMemoryLibrary(const InMemoryLibrary& other);
    InMemoryLibrary& operator=(const InMemoryLibrary& other);

    // Maps the image in `bytes`, applies relocations, binds imports (through `resolver` first
    // when given), registers its unwind table (x86-64) and calls the entry point with the
    // attach reason. A library already held is freed first. True when a library is held
    // afterwards; on failure nothing stays mapped.
    bool Load(const std::uint8_t* bytes,
              std::size_t size,
              ImportResolver resolver = nullptr,
              std::uintptr_t resolverArgument = 0);
    bool Load(const Bytes& bytes,
              ImportResolver resolver = nullptr,
              std::uintptr_t resolverArgument = 0) {
        return Load(bytes.data(), bytes.size(), resolver, resolverArgument);
    }

    // Calls the entry point with the detach reason and releases the mapping and the libraries
    // its imports loaded. True when no library is held afterwards; a mapping whose headers are
    // no longer valid is left in place and gives false.
    bool Free();

    // The address of an export by name (case-sensitive) or by ordinal written in decimal
    // ("1"); 0 when nothing is mapped or the export does not exist.
    std::uintptr_t FindExport(const char* name) const;
    std::uintptr_t FindExport(const Text& name) const { return FindExport(name.c_str()); }

    // Base plus the entry-point RVA; 0 when nothing is mapped.
    std::uintptr_t GetEntryPoint() const;

    // The base address of the mapping, 0 when nothing is mapped.
    std::uintptr_t GetBase() const { return base_; }

    // What the image reader found wrong with the image of the last Load: kOk when the image
    // itself was sound (that Load may still have failed for want of memory or because the
    // entry point refused), kOtherArchitecture for an image built for the other architecture.
    pe::Status LastImageStatus() const { return imageStatus_; }

  private:
    // True when the memory at base_ is still the committed mapping this object made.
    bool MappingIsIntact() const;

    std::uintptr_t base_ = 0;
    std::size_t size_ = 0;
    pe::Status imageStatus_ = pe::Status::kOk;
    // Libraries loaded for the imports, released by Free; shared by copies.
    std::shared_ptr<std::vector<void*>> importModules_;
};
