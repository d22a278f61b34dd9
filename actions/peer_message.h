// Balloons for "Msg||title||target" lines, once per distinct title.
#pragma once
#include <cstddef>
#include <functional>
#include <set>
#include <string>

#include "wire/peer_line.h"

namespace tavrin {

class UserInterface;

// Titles remembered as shown. Beyond this many, further titles are still
// shown but no longer recorded, so a phone sending endless distinct titles
// cannot grow the set without bound.
constexpr size_t kPeerTitleMemory = 4096;

// Titles already shown. Transparent comparison, so that looking a title up
// does not copy it.
using PeerTitleSet = std::set<std::string, std::less<>>;

// Shows the message once per distinct title: parses the line, drops titles
// already in `seenTitles`, records the new one and asks the main window for
// the balloon.
void HandlePeerMessage(PeerTitleSet& seenTitles, UserInterface& ui, const char* line);

}  // namespace tavrin
