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

// The next message in a buffer, as the phone's byte stream is cut: a "key" or
// "mos" frame (tag, three length digits, payload) or anything else up to a
// newline. Framing and dispatch both read it here and nowhere else.
struct Message {
  enum Kind : char {
    NeedMore = 0,     // fewer than three bytes, a frame not all there, a line without its newline yet
    Key = 'k',        // "key" frame
    Mouse = 'm',      // "mos" frame
    Text = 't',       // text line; its payload is the line without its newline
    BadHeader = 'x',  // a frame with a negative length: its header alone is dropped
  };
  Kind kind = NeedMore;
  int32_t payloadOffset = 0;  // where the payload starts in the buffer
  int32_t payloadLength = 0;
  int32_t length = 0;  // the bytes the whole message takes: header, payload, newline
};

// Inline, like the rest of the per-message path: it runs for every message.
// The length digits are read as atoi reads them (leading blanks and a sign
// allowed). A line is searched as a zero-terminated string: a zero byte before
// its newline hides it until the buffer is given up.
inline Message NextMessage(const ReceiveBuffer& received) {
  const char* bytes = received.buffer;
  if (received.fill < 3) return {};
  const bool key = std::memcmp(bytes, "key", 3) == 0;
  if (key || std::memcmp(bytes, "mos", 3) == 0) {
    if (received.fill < kFrameHeaderLength) return {};
    const char digits[4] = {bytes[3], bytes[4], bytes[5], 0};
    const int32_t length = std::atoi(digits);
    if (length < 0) return {Message::BadHeader, kFrameHeaderLength, 0, kFrameHeaderLength};
    if (length > received.fill - kFrameHeaderLength) return {};
    return {key ? Message::Key : Message::Mouse, kFrameHeaderLength, length, kFrameHeaderLength + length};
  }
  const char* newline = std::strchr(bytes, '\n');
  if (newline == nullptr) return {};
  const auto length = static_cast<int32_t>(newline - bytes);
  return {Message::Text, 0, length, length + 1};
}

// Copies a line of `length` bytes, cut to its first 4095, into `line` and ends
// it with a zero.
inline void CopyLine(const char* text, int32_t length, char (&line)[kLineCapacity]) {
  if (length > kLineCapacity - 1) length = kLineCapacity - 1;
  std::memcpy(line, text, static_cast<size_t>(length));
  line[length] = 0;
}

// Copies the first line of the buffer (without its newline, cut to 4095
// bytes) into `line` and returns the number of bytes the
// line and its newline take in the buffer; 0 when the buffer holds no
// newline. The buffer itself is left as it is.
int32_t CopyFirstLine(const ReceiveBuffer& received, char (&line)[kLineCapacity]);

}  // namespace tavrin
