// The bytes of one connection that have not formed a message yet, and how the
// byte stream is cut into messages: framed "key"/"mos" messages with a
// three-digit length, and newline-ended text lines.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tavrin {

constexpr int32_t kReceiveCapacity = 8192;
// "key" or "mos" and three decimal digits of payload length.
constexpr int32_t kFrameHeaderLength = 6;
// A line holds at most 4095 bytes before its newline and always ends with a
// zero byte. Longer lines are cut to their first 4095 bytes.
constexpr int kLineCapacity = 4096;

struct ReceiveBuffer {
  // Unconsumed bytes are buffer[0] .. buffer[fill-1]; buffer[fill] is always 0.
  int32_t fill = 0;
  char buffer[kReceiveCapacity + 1] = {};

  // A buffer full of bytes that never formed a message is given up, so
  // that the connection can go on.
  void discardIfFull() {
    if (fill == kReceiveCapacity) {
      fill = 0;
      buffer[0] = 0;
    }
  }
  int32_t room() const { return kReceiveCapacity - fill; }
  // Takes note of `count` bytes written at buffer + fill (at most room()).
  void added(int32_t count) {
    fill += count;
    buffer[fill] = 0;
  }
  // Takes the first `count` bytes off (all of them when there are fewer).
  void consume(int32_t count) {
    if (count <= 0) return;
    if (count > fill) count = fill;
    if (count < fill) std::memmove(buffer, buffer + count, static_cast<size_t>(fill - count));
    fill -= count;
    buffer[fill] = 0;
  }
  // Appends at most room() of the bytes; returns how many it took.
  int32_t append(const char* bytes, int32_t count) {
    if (count > room()) count = room();
    if (count <= 0) return 0;
    std::memcpy(buffer + fill, bytes, static_cast<size_t>(count));
    added(count);
    return count;
  }
};

// What the buffer starts with.
enum class MessageStart {
  Incomplete,  // fewer than three bytes, or a line without its newline yet
  Frame,       // "key" or "mos"
  TextLine,    // anything else, up to a newline
};
// Inline, like the rest of the per-message path: it runs for every message.
inline MessageStart ClassifyMessageStart(const ReceiveBuffer& received) {
  if (received.fill < 3) return MessageStart::Incomplete;
  if (std::memcmp(received.buffer, "key", 3) == 0 || std::memcmp(received.buffer, "mos", 3) == 0)
    return MessageStart::Frame;
  // The text is searched as a zero-terminated string: a zero byte before the
  // newline hides the line until the buffer is given up.
  return std::strchr(received.buffer, '\n') ? MessageStart::TextLine : MessageStart::Incomplete;
}

// Reads the payload length of the frame at the start of the buffer: its
// three length digits as a number (leading blanks and a sign allowed, as
// atoi reads them). False while the header is not all there. A negative
// length is given as it is: the caller skips the header.
inline bool ReadFramePayloadLength(const ReceiveBuffer& received, int32_t& length) {
  if (received.fill < kFrameHeaderLength) return false;
  char digits[4] = {};
  std::memcpy(digits, received.buffer + 3, 3);
  length = std::atoi(digits);
  return true;
}

// Copies the first line of the buffer (without its newline, cut to 4095
// bytes) into `line`, zero-filled first, and returns the number of bytes the
// line and its newline take in the buffer; 0 when the buffer holds no
// newline. The buffer itself is left as it is.
int32_t CopyFirstLine(const ReceiveBuffer& received, char (&line)[kLineCapacity]);

}  // namespace tavrin
