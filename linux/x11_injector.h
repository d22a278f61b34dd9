// The injector of the X edge: XTest key, button and relative motion events
// on the X display, typed text through the keyboard map (x11_keymap.h).
// Used by the worker thread only, on a display connection of its own.
#pragma once
#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "linux/x11_keymap.h"
#include "seams/injector.h"

namespace tavrin {

// A horizontal wheel amount (MOUSEEVENTF_HWHEEL): the core sends none today,
// but X has buttons for it.
constexpr uint32_t kMouseHorizontalWheel = 0x1000;

class X11Injector final : public Injector {
 public:
  // `display` stays the caller's; `keymapLeftovers` as for X11Keymap.
  X11Injector(Display* display, std::string keymapLeftovers);
  // False when the keyboard map cannot be read.
  bool open();

  bool key(uint16_t virtualKey, uint16_t scanCode, uint32_t flags) override;
  bool mouse(int32_t dx, int32_t dy, int32_t mouseData, uint32_t flags) override;
  int32_t text(const uint16_t* units, int32_t count) override;

  // Lets go of every key and button this injector holds down (the program
  // ends).
  void releaseAll();
  // Any thread. While the session is locked every press, move, wheel turn
  // and character is refused; releases still go through, so that what a
  // phone holds can be let go.
  void setLocked(bool locked) { locked_.store(locked, std::memory_order_release); }
  // Undoes the keyboard map's bindings; call once the worker has stopped.
  void restoreKeymap() { keymap_.restore(); }

 private:
  void answerNotices();
  bool press(uint8_t keycode, bool down);
  bool button(unsigned number, bool down);
  void wheelClicks(int32_t& accumulator, int32_t amount, unsigned forward, unsigned backward);

  Display* display_;
  X11Keymap keymap_;
  int keyboardEvent_ = -1;  // the keyboard extension's event code, -1: none
  uint8_t shiftKeycode_ = 0;
  std::vector<uint8_t> keysDown_;
  std::vector<unsigned> buttonsDown_;
  // Wheel amounts not yet worth a click (120 is one click).
  int32_t wheel_ = 0;
  int32_t horizontalWheel_ = 0;
  std::vector<uint32_t> keysyms_;  // reused for every text
  std::atomic<bool> locked_{false};
};

}  // namespace tavrin
