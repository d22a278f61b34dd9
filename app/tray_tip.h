// What the tray icon's tip says: "Tavrin" with the phones it last counted
// (and whether they are paused), then what keeps phones out (another
// session on the screen, the firewall, a port another program holds) or
// else the computer's addresses.
#pragma once
#include <cstddef>
#include <cstdint>

#include "app/desktop_shell.h"
#include "base/wide_text.h"
#include "shell/address_line.h"
#include "shell/firewall_check.h"
#include "shell/phone_menu_text.h"
#include "shell/port_notice.h"

namespace tavrin {

class TrayTip {
 public:
  explicit TrayTip(const FirewallCheck& firewall) : firewall_(firewall) {}

  // Notes the phones and the pause for the next tip; false when neither
  // changed since the last note.
  bool note(size_t phones, bool paused) {
    const bool changed = phones != phones_ || paused != paused_;
    phones_ = phones;
    paused_ = paused;
    return changed;
  }

  void compose(wchar_t* tip, size_t capacity) const {
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

  // Off while another session is on the screen.
  bool serving = true;
  // What the worker last said of its ports (kPortListening | kPortAnnouncing);
  // until it speaks, nothing is missing.
  uint32_t ports = kAllPortsOpen;

 private:
  const FirewallCheck& firewall_;
  size_t phones_ = 0;
  bool paused_ = false;
};

}  // namespace tavrin
