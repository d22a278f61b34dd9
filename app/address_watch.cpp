// The address table's header builds on winsock's.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "app/address_watch.h"

#include <iphlpapi.h>
#include <netioapi.h>

namespace tavrin {

namespace {

void WINAPI Changed(void* watch, MIB_UNICASTIPADDRESS_ROW*, MIB_NOTIFICATION_TYPE) {
  static_cast<AddressWatch*>(watch)->changed();
}

}  // namespace

bool AddressWatch::start(HWND window, UINT message) {
  window_ = window;
  message_ = message;
  return NotifyUnicastIpAddressChange(AF_INET, &Changed, this, FALSE, notices_.put()) == NO_ERROR;
}

// Returns only once no callback runs any more.
void AddressWatch::StopNotices(HANDLE notices) noexcept { CancelMibChangeNotify2(notices); }

void AddressWatch::changed() {
  if (!posted_.exchange(true, std::memory_order_acq_rel)) PostMessageW(window_, message_, 0, 0);
}

}  // namespace tavrin
