#include "actions/peer_message.h"

#include <cstring>
#include <new>
#include <string_view>

#include "seams/user_interface.h"

namespace tavrin {

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

}  // namespace tavrin
