// When to say that Windows blocks the phone's input.
//
// Windows drops injected input aimed at a window whose program runs as
// administrator when Tavrin does not, and the injection call reports nothing:
// to the user the phone just stops working. So when a phone's input arrives
// while such a window is in front, a balloon says why, once per window.
//
// Used by the worker thread only (it injects the input), one object for the
// run; the balloon itself is a request to the main thread that must not
// block (a posted message). Memory is fixed: the last kMemory windows told
// about are remembered; an older one that comes back to the front would be
// told about again.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tavrin {

class ElevationNotice {
 public:
  static constexpr size_t kMemory = 64;

  // Cheap, before any phone input is injected: whether the caller must find
  // out whether `window`'s process is elevated (a token query) and then ask
  // shouldShow(). False when Tavrin itself is elevated (nothing is blocked),
  // when no window is in front (0), when `window` was checked last time (a
  // window's process does not change) and when it has been told about.
  bool needsCheck(uintptr_t window, bool selfElevated) const;

  // Whether to show the balloon now for the foreground `window` (an opaque
  // id, 0 = none). True once per window: when the window's process is
  // elevated and Tavrin's is not.
  bool shouldShow(uintptr_t window, bool windowElevated, bool selfElevated);

 private:
  bool told(uintptr_t window) const;

  std::array<uintptr_t, kMemory> told_{};  // a ring: the oldest is overwritten
  size_t toldCount_ = 0;
  size_t toldNext_ = 0;
  uintptr_t lastChecked_ = 0;
};

// Windows decides by integrity level (the RID of the token's mandatory
// label): a process may not inject input into one above it, elevated or
// not. A level that could not be read because the process may not be opened
// is taken as above.
inline constexpr uint32_t kIntegritySystem = 0x4000;
inline constexpr uint32_t kIntegrityUnknownAbove = 0xFFFFFFFFu;
inline bool IntegrityBlocksInput(uint32_t own, uint32_t target) { return target > own; }
// Whether anything can be above `own` (false only at system level and up).
inline bool IntegrityCanBeBlocked(uint32_t own) { return own < kIntegritySystem; }

// The balloon (title: 64 units, text: 256 units, zero included).
inline constexpr wchar_t kElevationBalloonTitle[] = L"Tavrin cannot control the window in front";
inline constexpr wchar_t kElevationBalloonText[] =
    L"Windows does not let Tavrin type or click in it: its program runs with more rights than Tavrin "
    L"(as administrator). Your phone works again in other windows.";
static_assert(sizeof kElevationBalloonTitle / sizeof(wchar_t) <= 64, "balloon title field");
static_assert(sizeof kElevationBalloonText / sizeof(wchar_t) <= 256, "balloon text field");

}  // namespace tavrin
