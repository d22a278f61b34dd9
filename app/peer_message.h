// "Msg||title||target" lines from the phone.
#pragma once
#include <cstddef>
#include <functional>
#include <set>
#include <string>

namespace tavrin {

class UserInterface;

constexpr size_t kPeerTitleCapacity = 1024;
constexpr size_t kPeerTargetCapacity = 2048;
// The balloon has room for 234 UTF-16 units of title; a title is cut to 234
// bytes, which never convert to more units, so that the title recorded as
// shown is the title the user could see.
constexpr size_t kPeerTitleShownBytes = 234;
// Titles remembered as shown. Beyond this many, further titles are still
// shown but no longer recorded, so a phone sending endless distinct titles
// cannot grow the set without bound.
constexpr size_t kPeerTitleMemory = 4096;

// Titles already shown. Transparent comparison, so that looking a title up
// does not copy it.
using PeerTitleSet = std::set<std::string, std::less<>>;

// Splits the line into title and target (both zero-terminated; the title cut
// to 234 bytes, the target to 2047); false when the line has no second "||".
bool ParsePeerMessage(const char* line, char (&title)[kPeerTitleCapacity], char (&target)[kPeerTargetCapacity]);

// Shows the message once per distinct title: parses the line, drops titles
// already in `seenTitles`, records the new one and asks the main window for
// the balloon.
void HandlePeerMessage(PeerTitleSet& seenTitles, UserInterface& ui, const char* line);

}  // namespace tavrin
