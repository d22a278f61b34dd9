// Owners for handles that are not memory: one small template, after the
// style of wil's unique_any, and a scope guard for one-off clean-ups.
//
//   unique_any<T, Close, Invalid>  owns one value of type T; Close(value)
//                                  runs exactly once, when the owner lets go.
//   scope_exit(f)                  runs f once at the end of the scope,
//                                  unless dismissed.
//
// Portable and header-only; the Win32 handle kinds are in
// base/win32_handles.h, the socket in base/unique_socket.h.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <utility>

namespace tavrin {

// `Invalid` is given as an integer because the invalid value of some handle
// kinds (INVALID_HANDLE_VALUE) is a cast, which C++ does not accept as a
// template argument; it is turned into a T where it is used.
template <typename T, auto Close, std::intptr_t Invalid = 0>
class unique_any {
 public:
  using pointer = T;

  static T invalid() noexcept {
    if constexpr (std::is_pointer_v<T>)
      return reinterpret_cast<T>(Invalid);
    else
      return static_cast<T>(Invalid);
  }

  unique_any() noexcept = default;
  explicit unique_any(T value) noexcept : value_(value) {}
  ~unique_any() { close(); }

  // Move-only: two owners of one handle would close it twice.
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const noexcept { return value_; }
  // Pointer kinds (COM interfaces, malloc'ed records) are used through the owner.
  T operator->() const noexcept
    requires std::is_pointer_v<T>
  {
    return value_;
  }
  explicit operator bool() const noexcept { return value_ != invalid(); }

  // Gives the handle up without closing it; the caller owns it now.
  [[nodiscard]] T release() noexcept { return std::exchange(value_, invalid()); }

  // Closes what is held and takes `value` instead. Taking the handle already
  // held changes nothing: closing it first would leave a dangling owner.
  void reset(T value = invalid()) noexcept {
    if (value == value_) return;
    close();
    value_ = value;
  }

  // For out-parameters (RegOpenKeyExW(..., key.put())): closes what is held
  // and hands out the empty slot.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  void close() noexcept {
    if (value_ != invalid()) Close(std::exchange(value_, invalid()));
  }

  T value_ = invalid();
};

// malloc'ed blocks (variable-size records that Win32 calls fill in).
inline void FreeBlock(void* block) noexcept { std::free(block); }
template <typename T>
using unique_malloc = unique_any<T*, FreeBlock>;

// Runs a clean-up once at the end of a scope. dismiss() cancels it (the work
// it would undo has been handed on); reset() runs it early.
template <typename F>
class [[nodiscard]] scope_exit_guard {
 public:
  explicit scope_exit_guard(F f) noexcept : f_(std::move(f)) {}
  ~scope_exit_guard() { reset(); }
  scope_exit_guard(const scope_exit_guard&) = delete;
  scope_exit_guard& operator=(const scope_exit_guard&) = delete;

  void dismiss() noexcept { armed_ = false; }
  void reset() noexcept {
    if (armed_) {
      armed_ = false;
      f_();
    }
  }

 private:
  F f_;
  bool armed_ = true;
};

// auto guard = scope_exit([&] { CloseThing(thing); });
template <typename F>
[[nodiscard]] scope_exit_guard<std::decay_t<F>> scope_exit(F&& f) noexcept {
  return scope_exit_guard<std::decay_t<F>>(std::forward<F>(f));
}

}  // namespace tavrin
