// Tells the main window when the computer's IPv4 addresses change (Wi-Fi
// joining after logon, a cable, a VPN), so that the tip and what discovery
// announces follow at once instead of waiting for something else to change.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <atomic>

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
  void stop();

 private:
  static void WINAPI Changed(void* self, MIB_UNICASTIPADDRESS_ROW* row, MIB_NOTIFICATION_TYPE type);

  HWND window_ = nullptr;
  UINT message_ = 0;
  HANDLE handle_ = nullptr;
  std::atomic<bool> posted_{false};
};

}  // namespace tavrin
