#include "wire/receive_buffer.h"

#include <cstdlib>
#include <cstring>

namespace tavrin {

void ReceiveBuffer::consume(int32_t count) {
  if (count <= 0) return;
  if (count > fill) count = fill;
  if (count < fill) std::memmove(buffer, buffer + count, static_cast<size_t>(fill - count));
  fill -= count;
  buffer[fill] = 0;
}

int32_t ReceiveBuffer::append(const char* bytes, int32_t count) {
  if (count > room()) count = room();
  if (count <= 0) return 0;
  std::memcpy(buffer + fill, bytes, static_cast<size_t>(count));
  added(count);
  return count;
}

MessageStart ClassifyMessageStart(const ReceiveBuffer& received) {
  if (received.fill < 3) return MessageStart::Incomplete;
  if (std::memcmp(received.buffer, "key", 3) == 0 || std::memcmp(received.buffer, "mos", 3) == 0)
    return MessageStart::Frame;
  // The text is searched as a zero-terminated string: a zero byte before the
  // newline hides the line until the buffer is given up.
  return std::strchr(received.buffer, '\n') ? MessageStart::TextLine : MessageStart::Incomplete;
}

bool ReadFramePayloadLength(const ReceiveBuffer& received, int32_t& length) {
  if (received.fill < kFrameHeaderLength) return false;
  char digits[4] = {};
  std::memcpy(digits, received.buffer + 3, 3);
  length = std::atoi(digits);
  return true;
}

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
