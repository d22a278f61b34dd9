// Keys and mouse buttons one connection holds down, in the order pressed.
#pragma once
#include <cstdint>
#include <vector>

#include "seams/injector.h"
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

// Every connected phone's record. A key or button is down for the whole
// computer, so whoever lets it go, nobody holds it any more.
class HeldInputBoard {
 public:
  void join(HeldInput& record) { records_.push_back(&record); }
  void leave(HeldInput& record) { std::erase(records_, &record); }
  void release(uint16_t entry) {
    for (HeldInput* record : records_) record->release(entry);
  }

 private:
  std::vector<HeldInput*> records_;
};

// One phone's injector: passes every event on and records in `own` what the
// system took as pressed; a release comes off every record on the board (off
// `own` alone without one). Only what the system really took counts: a press
// it refused holds nothing down, and a release it refused leaves the key down
// and recorded.
class HeldInputInjector final : public Injector {
 public:
  HeldInputInjector(Injector* out, HeldInput& own, HeldInputBoard* board) : out_(out), own_(own), board_(board) {}
  bool key(uint16_t virtualKey, uint16_t scanCode, uint32_t flags) override;
  bool mouse(int32_t dx, int32_t dy, int32_t mouseData, uint32_t flags) override;
  // Characters hold nothing down: the run goes on whole.
  int32_t text(const uint16_t* units, int32_t count) override { return out_ ? out_->text(units, count) : 0; }

 private:
  void released(uint16_t entry);
  Injector* out_;
  HeldInput& own_;
  HeldInputBoard* board_;
};

}  // namespace tavrin
