// "Msg||title||target" lines from the phone.
#pragma once
#include <cstddef>

namespace tavrin {

constexpr size_t kPeerTitleCapacity = 1024;
constexpr size_t kPeerTargetCapacity = 2048;

// Splits the line into title and target (both zero-terminated, cut to their
// buffers); false when the line has no second "||".
bool ParsePeerMessage(const char* line, char (&title)[kPeerTitleCapacity], char (&target)[kPeerTargetCapacity]);

}  // namespace tavrin
