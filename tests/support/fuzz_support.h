// What the mutation fuzzers share: a small deterministic random source, and keeping the input
// that made a run fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#if defined(__SANITIZE_ADDRESS__)
#define LZF_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LZF_FUZZ_ASAN 1
#endif
#endif
#ifdef LZF_FUZZ_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

namespace fuzz {

// xorshift64: the same seed gives the same run, so a failure reproduces.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    std::size_t Below(std::size_t n) { return n ? static_cast<std::size_t>(Next() % n) : 0; }

  private:
    std::uint64_t state_;
};

// Writes the failing input to `path` and says so.
inline void KeepInput(const char* path, const void* data, std::size_t size) {
    if (std::FILE* f = std::fopen(path, "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        std::fprintf(stderr, "fuzz: input written to %s\n", path);
    }
}

// Runs `callback` when a sanitizer report ends the program (nothing without a sanitizer).
inline void OnSanitizerReport(void (*callback)()) {
#ifdef LZF_FUZZ_ASAN
    __sanitizer_set_death_callback(callback);
#else
    (void)callback;
#endif
}

}  // namespace fuzz
