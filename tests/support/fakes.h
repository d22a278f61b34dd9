// Recording fakes of the platform seams, shared by the unit and server tests.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "seams/desktop.h"
#include "seams/firewall.h"
#include "seams/user_interface.h"
#include "seams/injector.h"
#include "seams/network_info.h"

namespace tavrin::test {

// One injected event, written so that a failing test reads well:
//   "key 41 down", "key 41 up", "unicode 00e9", "move 5 -3", "left down",
//   "right up", "middle down", "wheel 120". A key's scan code follows when it
//   has one ("key 41 down sc 1e"), then "ext" for the extended-key flag.
inline std::string DescribeKey(uint16_t vk, uint16_t scan, uint32_t flags) {
  char text[48];
  if (flags & kKeyEventUnicode) {
    std::snprintf(text, sizeof text, "unicode %04x%s", scan, (flags & kKeyEventKeyUp) ? " up" : "");
    return text;
  }
  std::snprintf(text, sizeof text, "key %02x %s", vk, (flags & kKeyEventKeyUp) ? "up" : "down");
  std::string out = text;
  if (scan) {
    std::snprintf(text, sizeof text, " sc %02x", scan);
    out += text;
  }
  if (flags & kKeyEventExtendedKey) out += " ext";
  return out;
}

inline std::string DescribeMouse(int32_t dx, int32_t dy, int32_t data, uint32_t flags) {
  char text[48];
  switch (flags) {
    case kMouseMove: std::snprintf(text, sizeof text, "move %d %d", dx, dy); break;
    case kMouseLeftDown: return "left down";
    case kMouseLeftUp: return "left up";
    case kMouseRightDown: return "right down";
    case kMouseRightUp: return "right up";
    case kMouseMiddleDown: return "middle down";
    case kMouseMiddleUp: return "middle up";
    case kMouseWheel: std::snprintf(text, sizeof text, "wheel %d", data); break;
    default: std::snprintf(text, sizeof text, "mouse %d %d %d flags %x", dx, dy, data, flags);
  }
  return text;
}

// Thread-safe, because server tests inject on the worker and read on the test thread.
class RecordingInjector : public Injector {
 public:
  bool key(uint16_t vk, uint16_t scan, uint32_t flags) override {
    add(DescribeKey(vk, scan, flags));
    return accepting;
  }
  bool mouse(int32_t dx, int32_t dy, int32_t data, uint32_t flags) override {
    add(DescribeMouse(dx, dy, data, flags));
    return accepting;
  }
  // False: the system refuses every event (it is still recorded as tried).
  std::atomic<bool> accepting{true};
  std::vector<std::string> events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<std::string> take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    out.swap(events_);
    return out;
  }

 private:
  void add(std::string event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
  }
  std::mutex mutex_;
  std::vector<std::string> events_;
};

class RecordingUserInterface : public UserInterface {
 public:
  void showPeerBalloon(const char* title, const char* target) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back("balloon [" + std::string(title) + "] [" + std::string(target) + "]");
  }
  void requestShutdown() override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back("shutdown");
  }
  void reportPorts(bool listening, bool announcing) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::string("ports") + (listening ? " listening" : "") + (announcing ? " announcing" : ""));
  }
  void warnElevatedWindow() override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back("elevated window");
  }
  std::vector<std::string> calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> calls_;
};

class FakeNetworkInfo : public NetworkInfo {
 public:
  bool readable = true;
  std::vector<AddressRow> rows;
  std::string name = "OFFICE7";
  bool addressTable(AddressRow* out, uint32_t capacity, uint32_t& count) override {
    if (!readable) return false;
    count = static_cast<uint32_t>(rows.size());
    for (uint32_t i = 0; i < count && i < capacity; ++i) out[i] = rows[i];
    return true;
  }
  int32_t computerName(char* out, uint32_t capacity) override {
    if (name.empty() || name.size() + 1 > capacity) return -1;
    std::snprintf(out, capacity, "%s", name.c_str());
    return static_cast<int32_t>(name.size());
  }
};

// The firewall and the networks as a test sets them; either query can fail.
class FakeFirewallInfo : public FirewallInfo {
 public:
  bool firewallReadable = true;
  FirewallState state;
  bool networksReadable = true;
  std::vector<ConnectedNetwork> networks;
  bool firewall(FirewallState& out) override {
    if (firewallReadable) out = state;
    return firewallReadable;
  }
  bool connectedNetworks(std::vector<ConnectedNetwork>& out) override {
    if (networksReadable) out = networks;
    return networksReadable;
  }
};

}  // namespace tavrin::test
