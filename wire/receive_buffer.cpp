#include "wire/receive_buffer.h"

#include <cstring>

namespace tavrin {

int32_t CopyFirstLine(const ReceiveBuffer& received, char (&line)[kLineCapacity]) {
  const int32_t fill = received.fill < 0 ? 0 : (received.fill > kReceiveCapacity ? kReceiveCapacity : received.fill);
  const void* newline = std::memchr(received.buffer, '\n', static_cast<size_t>(fill));
  if (!newline) return 0;
  const int32_t lineLength = static_cast<int32_t>(static_cast<const char*>(newline) - received.buffer);
  CopyLine(received.buffer, lineLength, line);
  return lineLength + 1;
}

}  // namespace tavrin
