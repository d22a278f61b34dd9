#include "input/held_input.h"

#include "input/keyboard.h"

namespace tavrin {

namespace {

bool IsTrackable(uint16_t entry) {
  return (entry >= 0x01 && entry <= 0xFF) || entry == HeldInput::Button(LeftButton) || entry == HeldInput::Button(RightButton) ||
         entry == HeldInput::Button(MiddleButton);
}

}  // namespace

void HeldInput::press(uint16_t entry) {
  if (!IsTrackable(entry) || holds(entry) || count >= kCapacity) return;
  entries[count++] = entry;
}

void HeldInput::release(uint16_t entry) {
  for (int i = 0; i < count; ++i) {
    if (entries[i] != entry) continue;
    for (int j = i + 1; j < count; ++j) entries[j - 1] = entries[j];
    --count;
    return;
  }
}

bool HeldInput::holds(uint16_t entry) const {
  for (int i = 0; i < count; ++i)
    if (entries[i] == entry) return true;
  return false;
}

void HeldInput::releaseAll(Keyboard& keyboard) {
  Injector& injector = keyboard.injector;
  // Empty the record first: the injector may itself take releases off
  // records, this one included.
  uint16_t pending[kCapacity];
  int pendingCount = count;
  for (int i = 0; i < count; ++i) pending[i] = entries[i];
  count = 0;
  for (int i = pendingCount - 1; i >= 0; --i) {
    switch (pending[i]) {
      case Button(LeftButton): injector.mouse(0, 0, 0, kMouseLeftUp); break;
      case Button(RightButton): injector.mouse(0, 0, 0, kMouseRightUp); break;
      case Button(MiddleButton): injector.mouse(0, 0, 0, kMouseMiddleUp); break;
      default: SendKeyEvent(keyboard, pending[i], true); break;
    }
  }
}

void HeldInputInjector::released(uint16_t entry) {
  own_.release(entry);
  if (board_) board_->release(entry);
}

bool HeldInputInjector::key(uint16_t virtualKey, uint16_t scanCode, uint32_t flags) {
  if (!out_ || !out_->key(virtualKey, scanCode, flags)) return false;
  // Unicode records carry a character, not a key that could stay down.
  if (flags & kKeyEventUnicode) return true;
  if (flags & kKeyEventKeyUp)
    released(virtualKey);
  else
    own_.press(virtualKey);
  return true;
}

bool HeldInputInjector::mouse(int32_t dx, int32_t dy, int32_t mouseData, uint32_t flags) {
  if (!out_ || !out_->mouse(dx, dy, mouseData, flags)) return false;
  if (flags & kMouseLeftDown) own_.press(HeldInput::Button(LeftButton));
  if (flags & kMouseRightDown) own_.press(HeldInput::Button(RightButton));
  if (flags & kMouseMiddleDown) own_.press(HeldInput::Button(MiddleButton));
  if (flags & kMouseLeftUp) released(HeldInput::Button(LeftButton));
  if (flags & kMouseRightUp) released(HeldInput::Button(RightButton));
  if (flags & kMouseMiddleUp) released(HeldInput::Button(MiddleButton));
  return true;
}

}  // namespace tavrin
