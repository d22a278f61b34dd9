#include "net/remote_server.h"

namespace tavrin {

namespace {

// Takes a release off every connection's record: a key or button is down for
// the whole computer, so whoever lets it go, nobody holds it any more.
void ReleaseEverywhere(RemoteServer& server, ClientConnection* current, uint16_t entry) {
  if (current) current->held.release(entry);
  for (auto& client : server.clients) client.second->held.release(entry);
}

}  // namespace

// Only what the system really took counts: a press it refused holds nothing
// down, and a release it refused leaves the key down and recorded.
bool TrackingInjector::key(uint16_t virtualKey, uint16_t scanCode, uint32_t flags) {
  if (!server_.platform.injector || !server_.platform.injector->key(virtualKey, scanCode, flags)) return false;
  // Unicode records carry a character, not a key that could stay down.
  if (flags & kKeyEventUnicode) return true;
  if (flags & kKeyEventKeyUp)
    ReleaseEverywhere(server_, current, virtualKey);
  else if (current)
    current->held.press(virtualKey);
  return true;
}

bool TrackingInjector::mouse(int32_t dx, int32_t dy, int32_t mouseData, uint32_t flags) {
  if (!server_.platform.injector || !server_.platform.injector->mouse(dx, dy, mouseData, flags)) return false;
  if (current) {
    if (flags & kMouseLeftDown) current->held.press(HeldInput::kLeftButton);
    if (flags & kMouseRightDown) current->held.press(HeldInput::kRightButton);
    if (flags & kMouseMiddleDown) current->held.press(HeldInput::kMiddleButton);
  }
  if (flags & kMouseLeftUp) ReleaseEverywhere(server_, current, HeldInput::kLeftButton);
  if (flags & kMouseRightUp) ReleaseEverywhere(server_, current, HeldInput::kRightButton);
  if (flags & kMouseMiddleUp) ReleaseEverywhere(server_, current, HeldInput::kMiddleButton);
  return true;
}

}  // namespace tavrin
