// Ownership of one reference to a reference-counted object of a C-style API
// (CoreFoundation objects, IOKit objects, plug-in interfaces).
//
// A reference the caller already owns (from a Create or Copy function, or an
// out-parameter that hands one over) is adopted; a reference that was only
// lent (from a Get function) is retained first. The two are separate named
// constructors so that a call site always says which one it has.
#pragma once

#include <utility>

namespace platform::macos {

// Traits supply: `static T Null()`, `static void Retain(T)` and
// `static void Release(T)`; Retain and Release are never called with Null().
template <class T, class Traits>
class ScopedRef {
 public:
  ScopedRef() = default;
  // Takes over a reference the caller owns.
  static ScopedRef Adopt(T ref) { return ScopedRef(ref); }
  // Retains a borrowed reference and holds the new one.
  static ScopedRef Retain(T ref) {
    if (ref != Traits::Null()) Traits::Retain(ref);
    return ScopedRef(ref);
  }

  ~ScopedRef() { reset(); }
  ScopedRef(ScopedRef&& other) noexcept : ref_(other.release()) {}
  ScopedRef& operator=(ScopedRef&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedRef(const ScopedRef&) = delete;
  ScopedRef& operator=(const ScopedRef&) = delete;

  T get() const { return ref_; }
  explicit operator bool() const { return ref_ != Traits::Null(); }

  // Gives the reference up without releasing it (to a function that
  // consumes it).
  [[nodiscard]] T release() { return std::exchange(ref_, Traits::Null()); }
  // Releases the held reference, if any, and adopts `ref`.
  void reset(T ref = Traits::Null()) {
    const T old = std::exchange(ref_, ref);
    if (old != Traits::Null()) Traits::Release(old);
  }

 private:
  explicit ScopedRef(T ref) : ref_(ref) {}
  T ref_ = Traits::Null();
};

}  // namespace platform::macos
