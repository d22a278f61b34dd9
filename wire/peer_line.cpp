#include "wire/peer_line.h"

#include <cstring>

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

}  // namespace tavrin
