// "Msg||title||target" lines: the title and target a phone sends.
#pragma once
#include <cstddef>

namespace tavrin {

constexpr size_t kPeerTitleCapacity = 1024;
constexpr size_t kPeerTargetCapacity = 2048;
// The balloon has room for 234 UTF-16 units of title; a title is cut to 234
// bytes, which never convert to more units, so that the title recorded as
// shown is the title the user could see.
constexpr size_t kPeerTitleShownBytes = 234;

// Splits the line into title and target (both zero-terminated; the title cut
// to 234 bytes, the target to 2047); false when the line has no second "||".
bool ParsePeerMessage(const char* line, char (&title)[kPeerTitleCapacity], char (&target)[kPeerTargetCapacity]);

}  // namespace tavrin
