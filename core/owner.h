// Owner: a move-only owner of one handle of a C interface. It closes the handle when it goes
// out of scope or is given another; Release() hands the handle over without closing it. What a
// handle is, which value means none, and how it is closed come from a traits type:
//
//   struct EventTraits {
//       using Handle = HANDLE;
//       static Handle Invalid() { return nullptr; }
//       static bool Close(Handle h) { return CloseHandle(h) != 0; }
//   };
//   using OwnedEvent = Owner<EventTraits>;
//
// Portable and header-only; the traits of the system's handles live beside the code that
// includes the system's headers.
#pragma once

#include <utility>

template <typename Traits>
class Owner {
  public:
    using Handle = typename Traits::Handle;

    Owner() noexcept = default;
    explicit Owner(Handle handle) noexcept : handle_(handle) {}
    ~Owner() { Reset(); }

    Owner(Owner&& other) noexcept : handle_(other.Release()) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    Handle Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }

    // Hands the handle over without closing it; nothing is held afterwards.
    [[nodiscard]] Handle Release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

    // Closes the handle held, if any, and holds `handle` instead.
    void Reset(Handle handle = Traits::Invalid()) noexcept {
        Handle old = std::exchange(handle_, handle);
        if (old != Traits::Invalid())
            Traits::Close(old);
    }

    // Closes the handle held now and says whether closing succeeded (true when none was
    // held), for handles whose closing can fail in a way that matters, such as a file's.
    bool Close() noexcept {
        Handle old = std::exchange(handle_, Traits::Invalid());
        return old == Traits::Invalid() || Traits::Close(old);
    }

  private:
    Handle handle_ = Traits::Invalid();
};
