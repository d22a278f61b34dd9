// Arbitrary byte streams from two phones, cut into receives where the input
// says, through the framing, the text commands and every handler, with
// recording fakes in place of the platform.
//
// Input layout: one byte that scripts the desktop, then chunks. A chunk is a
// control byte (bit 0: which phone; bits 1-7: length, where 127 means "a
// 14-bit length follows in the next two bytes") and that many bytes.
//
// Besides what the sanitizers catch, it checks that the receive buffer stays
// within its capacity and zero-terminated, that every message handed on lies
// inside the buffered bytes, that no whole message is left behind after a
// receive, and that once both phones have gone, no key or button is left down.
#include <bitset>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "input/keyboard.h"
#include "server/message_handler.h"
#include "support/fake_desktop.h"
#include "support/fakes.h"

namespace {

using namespace tavrin;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "connection fuzzer: %s\n", what);
  std::abort();
}

// Tracks what the injected stream leaves down.
class DownState : public Injector {
 public:
  bool key(uint16_t vk, uint16_t, uint32_t flags) override {
    if (!(flags & kKeyEventUnicode)) keys.set(vk, !(flags & kKeyEventKeyUp));
    return true;
  }
  bool mouse(int32_t, int32_t, int32_t, uint32_t flags) override {
    if (flags & kMouseLeftDown) buttons.set(0);
    if (flags & kMouseLeftUp) buttons.reset(0);
    if (flags & kMouseRightDown) buttons.set(1);
    if (flags & kMouseRightUp) buttons.reset(1);
    if (flags & kMouseMiddleDown) buttons.set(2);
    if (flags & kMouseMiddleUp) buttons.reset(2);
    return true;
  }
  std::bitset<65536> keys;
  std::bitset<3> buttons;
};

class BoundsCheck : public MessageObserver {
 public:
  void onMessage(char kind, const char* payload, int32_t length) override {
    const ReceiveBuffer& c = connection->received;
    if (length < 0 || payload < c.buffer || payload + length > c.buffer + c.fill) Fail("message outside the buffer");
    if (kind == 't') {
      if (payload[length] != '\n' || std::memchr(payload, '\n', static_cast<size_t>(length))) Fail("line not cut at its newline");
    } else if (kind == 'k' || kind == 'm') {
      if (length > 999) Fail("frame too long");
    } else {
      Fail("unknown kind");
    }
    // Touch every byte, so that a stale pointer shows.
    unsigned sum = 0;
    for (int32_t i = 0; i < length; ++i) sum += static_cast<unsigned char>(payload[i]);
    total += sum;
  }
  const ClientConnection* connection = nullptr;
  unsigned total = 0;
};

void ScriptDesktop(test::FakeDesktop& desktop, uint8_t flags) {
  desktop.foreground = (flags & 1) ? 0x1234 : 0;
  desktop.unicode = (flags & 2) != 0;
  desktop.zoomed = (flags & 4) != 0;
  desktop.iconic = (flags & 8) != 0;
  desktop.guiInfoAvailable = (flags & 16) != 0;
  desktop.style = (flags & 32) ? (kStyleMaximizeBox | kStyleMinimizeBox | kStyleThickFrame | kStyleVisible) : 0;
  desktop.rect = Rect{10, 20, 810, 620};
  if (flags & 64) desktop.processPath = L"C:\\Program Files\\Office\\POWERPNT.EXE";
  if (flags & 128) {
    desktop.displays.push_back(test::FakeDesktop::Display(L"\\\\.\\DISPLAY1", 0x5));
    desktop.displays.push_back(test::FakeDesktop::Display(L"\\\\.\\DISPLAY2", 0x1));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  DownState down;
  test::FakeDesktop desktop;
  test::RecordingUserInterface ui;
  test::FakeNetworkInfo network;
  BoundsCheck bounds;
  ScriptDesktop(desktop, data[0]);

  Platform platform;
  platform.injector = &down;
  platform.desktop = &desktop;
  platform.ui = &ui;
  platform.network = &network;
  platform.observer = &bounds;
  MessageHandler server(platform);
  // Heap records, as the server makes them, so that overruns show; on one
  // board, so that a release by one phone comes off the other's record.
  HeldInputBoard board;
  ClientConnection* phones[2] = {new ClientConnection(&down, {}, 0, 1, &board),
                                 new ClientConnection(&down, {}, 0, 2, &board)};

  size_t at = 1;
  while (at < size) {
    const uint8_t control = data[at++];
    ClientConnection& phone = *phones[control & 1];
    size_t length = control >> 1;
    if (length == 127) {
      if (at + 2 > size) break;
      length = (static_cast<size_t>(data[at]) | static_cast<size_t>(data[at + 1]) << 8) & 0x3FFF;
      at += 2;
    }
    if (length > size - at) length = size - at;
    bounds.connection = &phone;
    // Like receive: what does not fit after the full-buffer discard waits for
    // the next receive.
    size_t fed = 0;
    do {
      fed += static_cast<size_t>(server.feed(phone, reinterpret_cast<const char*>(data + at + fed),
                                             static_cast<int32_t>(length - fed)));
      const ReceiveBuffer& received = phone.received;
      if (received.fill < 0 || received.fill > kReceiveCapacity || received.buffer[received.fill] != 0)
        Fail("buffer invariant");
      // Every whole message was handed on: what stays waits for more bytes.
      if (NextMessage(received).kind != Message::NeedMore) Fail("a whole message left in the buffer");
    } while (fed < length);
    at += length;
  }

  // Both phones go away: what they hold is let go, as when a connection ends.
  for (ClientConnection* phone : phones) {
    server.releaseHeld(*phone);
    delete phone;
  }
  if (down.keys.any() || down.buttons.any()) Fail("input left down");
  return 0;
}
