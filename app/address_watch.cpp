#include "app/address_watch.h"

namespace tavrin {

bool AddressWatch::start(HWND window, UINT message) {
  window_ = window;
  message_ = message;
  return NotifyUnicastIpAddressChange(AF_INET, &AddressWatch::Changed, this, FALSE, &handle_) == NO_ERROR;
}

void AddressWatch::stop() {
  // Returns only once no callback runs any more.
  if (handle_ != nullptr) CancelMibChangeNotify2(handle_);
  handle_ = nullptr;
}

void WINAPI AddressWatch::Changed(void* context, MIB_UNICASTIPADDRESS_ROW*, MIB_NOTIFICATION_TYPE) {
  // A system thread: only a post crosses to the window.
  auto* self = static_cast<AddressWatch*>(context);
  if (!self->posted_.exchange(true, std::memory_order_acq_rel)) PostMessageW(self->window_, self->message_, 0, 0);
}

}  // namespace tavrin
