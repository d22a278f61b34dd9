#include "app/peer_message.h"

#include <cstring>
#include <new>
#include <string_view>

#include "app/user_interface.h"
#include "net/remote_server.h"

namespace tavrin {

bool ParsePeerMessage(const char* line, char (&title)[kPeerTitleCapacity], char (&target)[kPeerTargetCapacity]) {
  std::memset(title, 0, sizeof title);
  std::memset(target, 0, sizeof target);
  const char* first = std::strstr(line, "||");
  if (!first) return false;
  const char* titleStart = first + 2;
  const char* second = std::strstr(titleStart, "||");
  if (!second) return false;

  size_t titleLength = static_cast<size_t>(second - titleStart);
  if (titleLength > kPeerTitleShownBytes) titleLength = kPeerTitleShownBytes;
  std::memcpy(title, titleStart, titleLength);

  const char* targetStart = second + 2;
  size_t targetLength = std::strlen(targetStart);
  if (targetLength > kPeerTargetCapacity - 1) targetLength = kPeerTargetCapacity - 1;
  std::memcpy(target, targetStart, targetLength);
  return true;
}

void HandlePeerMessage(PeerTitleSet& seenTitles, UserInterface& ui, const char* line) {
  char title[kPeerTitleCapacity];
  char target[kPeerTargetCapacity];
  if (!ParsePeerMessage(line, title, target)) return;
  try {
    const std::string_view key(title);
    if (seenTitles.find(key) != seenTitles.end()) return;
    if (seenTitles.size() < kPeerTitleMemory) seenTitles.emplace(key);
  } catch (const std::bad_alloc&) {
    // Without memory to compare or record the title, it is shown unrecorded
    // rather than letting the failure end the worker.
  }
  ui.showPeerBalloon(title, target);
}

namespace {

// A server built without an interface still records the titles it would show.
class NoBalloons final : public UserInterface {
 public:
  void showPeerBalloon(const char*, const char*) override {}
  void requestShutdown() override {}
  void reportPorts(bool, bool) override {}
};

}  // namespace

void RemoteServer::handlePeerMessage(const char* line) {
  static NoBalloons noBalloons;
  HandlePeerMessage(seenPeerTitles, platform.ui ? *platform.ui : noBalloons, line);
}

}  // namespace tavrin
