#include "wire/receive_buffer.h"

#include <cstring>

namespace tavrin {

int32_t CopyFirstLine(const ReceiveBuffer& received, char (&line)[kLineCapacity]) {
  std::memset(line, 0, sizeof line);
  const int32_t fill = received.fill < 0 ? 0 : (received.fill > kReceiveCapacity ? kReceiveCapacity : received.fill);
  const void* newline = std::memchr(received.buffer, '\n', static_cast<size_t>(fill));
  if (!newline) return 0;
  const int32_t lineLength = static_cast<int32_t>(static_cast<const char*>(newline) - received.buffer);
  // A longer line keeps its first 4095 bytes, so that it still ends with a zero.
  const int32_t copied = lineLength < kLineCapacity - 1 ? lineLength : kLineCapacity - 1;
  std::memcpy(line, received.buffer, static_cast<size_t>(copied));
  return lineLength + 1;
}

}  // namespace tavrin
