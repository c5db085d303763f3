// One fuzz input: an image run through everything the loader does before executing code.
#pragma once

#include <cstddef>
#include <cstdint>

// How far inputs got, for the driver's report.
struct FuzzPeStats {
    std::uint64_t inputs = 0;
    std::uint64_t parsed = 0;     // ParseImage accepted the headers
    std::uint64_t relocated = 0;  // relocations applied
    std::uint64_t bound = 0;      // every import bound
    std::uint64_t bound64 = 0;    // of them PE32+ images
    std::uint64_t exportsFound = 0;
};

FuzzPeStats& FuzzPeStatistics();

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
