// Keys and mouse buttons one connection holds down, in the order pressed.
#pragma once
#include <cstdint>

namespace tavrin {

class Injector;

// An entry is a virtual-key code (0x01..0xFF) or one of the mouse buttons.
struct HeldInput {
  static constexpr uint16_t kLeftButton = 0x100;
  static constexpr uint16_t kRightButton = 0x101;
  static constexpr uint16_t kMiddleButton = 0x102;
  static constexpr int kCapacity = 259;  // every key code and three buttons, each at most once

  uint16_t entries[kCapacity] = {};
  int count = 0;

  void press(uint16_t entry);    // adds it unless already held
  void release(uint16_t entry);  // removes it if held
  bool holds(uint16_t entry) const;
  // Releases everything held, newest first, with the same kind of events, and
  // empties the record.
  void releaseAll(Injector& injector);
};

}  // namespace tavrin
