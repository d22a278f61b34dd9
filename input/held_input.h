// Keys and mouse buttons one connection holds down, in the order pressed.
#pragma once
#include <cstdint>

#include "seams/input_codes.h"

namespace tavrin {

class Keyboard;

// An entry is a virtual-key code (0x01..0xFF) or a mouse button, kept as
// Button(its MouseButton number).
struct HeldInput {
  static constexpr uint16_t Button(MouseButton button) { return static_cast<uint16_t>(0x100 + button); }
  static constexpr int kCapacity = 259;  // every key code and three buttons, each at most once

  uint16_t entries[kCapacity] = {};
  int count = 0;

  void press(uint16_t entry);    // adds it unless already held
  void release(uint16_t entry);  // removes it if held
  bool holds(uint16_t entry) const;
  // Releases everything held, newest first, with the same kind of events
  // (keys as the keyboard sends them), and empties the record.
  void releaseAll(Keyboard& keyboard);
};

}  // namespace tavrin
