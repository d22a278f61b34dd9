#include "server/remote_server.h"

namespace tavrin {

// Takes a release off every connection's record: a key or button is down for
// the whole computer, so whoever lets it go, nobody holds it any more.
void TrackingInjector::releaseEverywhere(uint16_t entry) {
  if (current) current->held.release(entry);
  for (auto& client : server_.clients_) client.second->held.release(entry);
}

// Only what the system really took counts: a press it refused holds nothing
// down, and a release it refused leaves the key down and recorded.
bool TrackingInjector::key(uint16_t virtualKey, uint16_t scanCode, uint32_t flags) {
  if (!server_.platform.injector || !server_.platform.injector->key(virtualKey, scanCode, flags)) return false;
  // Unicode records carry a character, not a key that could stay down.
  if (flags & kKeyEventUnicode) return true;
  if (flags & kKeyEventKeyUp)
    releaseEverywhere(virtualKey);
  else if (current)
    current->held.press(virtualKey);
  return true;
}

int32_t TrackingInjector::text(const uint16_t* units, int32_t count) {
  return server_.platform.injector ? server_.platform.injector->text(units, count) : 0;
}

bool TrackingInjector::mouse(int32_t dx, int32_t dy, int32_t mouseData, uint32_t flags) {
  if (!server_.platform.injector || !server_.platform.injector->mouse(dx, dy, mouseData, flags)) return false;
  if (current) {
    if (flags & kMouseLeftDown) current->held.press(HeldInput::Button(LeftButton));
    if (flags & kMouseRightDown) current->held.press(HeldInput::Button(RightButton));
    if (flags & kMouseMiddleDown) current->held.press(HeldInput::Button(MiddleButton));
  }
  if (flags & kMouseLeftUp) releaseEverywhere(HeldInput::Button(LeftButton));
  if (flags & kMouseRightUp) releaseEverywhere(HeldInput::Button(RightButton));
  if (flags & kMouseMiddleUp) releaseEverywhere(HeldInput::Button(MiddleButton));
  return true;
}

}  // namespace tavrin
