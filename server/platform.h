// What the server is given: where the worker's effects leave the program.
#pragma once
#include <cstdint>

#include "base/log.h"
#include "seams/desktop.h"
#include "seams/injector.h"
#include "seams/network_info.h"
#include "seams/user_interface.h"
#include "shell/phone_roster.h"

namespace tavrin {

// Sees every message the framing loop hands on, before its handler runs:
// kind 'k' (key frame), 'm' (mouse frame) or 't' (text line, without its
// newline). Tests and the fuzzer use it to check the framing on its own; the
// product leaves it unset.
class MessageObserver {
 public:
  virtual ~MessageObserver() = default;
  virtual void onMessage(char kind, const char* payload, int32_t length) = 0;
};

// The product passes its Win32 implementations; tests pass recording fakes; a
// missing one does nothing. All of them must outlive the server.
struct Platform {
  Injector* injector = nullptr;
  Desktop* desktop = nullptr;
  UserInterface* ui = nullptr;
  NetworkInfo* network = nullptr;
  Log* log = nullptr;
  // The discovery datagrams go to 255.255.255.255 and every local network's
  // broadcast address, port 2008. Tests that run the real loop on a
  // development machine would announce themselves to the real network, so they
  // switch the discovery socket off; the product always leaves this on.
  bool discoveryEnabled = true;
  // Optional; set before the server starts.
  MessageObserver* observer = nullptr;
  // Who is connected, and the user's say over them (disconnect, pause, ask
  // before a new phone). Without one every phone's input has effect.
  PhoneRoster* roster = nullptr;

  template <typename... Args>
  void write(LogLevel level, const char* format, Args... args) const {
    if (log) log->write(level, format, args...);
  }
};

}  // namespace tavrin
