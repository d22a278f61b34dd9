#include "app/tray_tip.h"

#include "app/desktop_shell.h"
#include "base/wide_text.h"
#include "shell/address_line.h"
#include "shell/phone_menu_text.h"

namespace tavrin {

bool TrayTip::note(size_t phones, bool paused) {
  const bool changed = phones != phones_ || paused != paused_;
  phones_ = phones;
  paused_ = paused;
  return changed;
}

void TrayTip::compose(wchar_t* tip, size_t capacity) const {
  FormatTipHeading(tip, capacity, phones_, paused_);
  if (!serving) {
    AppendText(tip, capacity, L"Not serving: another session is on the screen");
    return;
  }
  if (const wchar_t* blocked = FirewallCauseLine(firewall_.verdict())) {
    AppendText(tip, capacity, blocked);
    AppendText(tip, capacity, L"\n");
  }
  if (const wchar_t* missing = PortNoticeTip(ports)) {
    AppendText(tip, capacity, missing);
    return;
  }
  AppendText(tip, capacity, kAddressPrefix);
  ListLocalAddresses(tip, capacity);
}

}  // namespace tavrin
