#include "input/held_input.h"

#include "input/keyboard.h"
#include "seams/injector.h"

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

}  // namespace tavrin
