// Tells the main window when the computer's IPv4 addresses change (Wi-Fi
// joining after logon, a cable, a VPN), so that the tip and what discovery
// announces follow at once instead of waiting for something else to change.
#pragma once
#include <windows.h>

#include <atomic>

#include "base/unique_any.h"

namespace tavrin {

class AddressWatch {
 public:
  AddressWatch() = default;
  ~AddressWatch() { stop(); }
  AddressWatch(const AddressWatch&) = delete;
  AddressWatch& operator=(const AddressWatch&) = delete;

  // Posts `message` to `window` after changes (a burst of them posts once
  // until taken()). False when the system cannot tell.
  bool start(HWND window, UINT message);
  // The posted message was handled: the next change posts again.
  void taken() { posted_.store(false, std::memory_order_release); }
  // Waits for a notice that is being delivered, then no more come.
  void stop() { notices_.reset(); }
  // From the system's thread: only a post crosses to the window.
  void changed();

 private:
  static void StopNotices(HANDLE notices) noexcept;

  HWND window_ = nullptr;
  UINT message_ = 0;
  unique_any<HANDLE, StopNotices> notices_;
  std::atomic<bool> posted_{false};
};

}  // namespace tavrin
