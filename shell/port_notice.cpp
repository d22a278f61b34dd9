#include "shell/port_notice.h"

namespace tavrin {

const wchar_t* PortNoticeTip(uint32_t ports) {
  if ((ports & kPortListening) == 0 && (ports & kPortAnnouncing) == 0)
    return L"Ports 1978 and 2008 are in use by another program. Tavrin will start serving when they are free.";
  if ((ports & kPortListening) == 0)
    return L"Port 1978 is in use by another program. Tavrin will start serving when it is free.";
  if ((ports & kPortAnnouncing) == 0)
    return L"Port 2008 is in use by another program: phones cannot find this computer until it is free.";
  return nullptr;
}

PortNotice PortNoticeFor(uint32_t ports) {
  if ((ports & kPortListening) == 0 && (ports & kPortAnnouncing) == 0)
    return {L"Tavrin cannot serve phones yet",
            L"Ports 1978 (TCP) and 2008 (UDP) are in use by another program. Tavrin will start serving phones as "
            L"soon as they are free.",
            false, true};
  if ((ports & kPortListening) == 0)
    return {L"Tavrin cannot serve phones yet",
            L"Port 1978 (TCP) is in use by another program. Tavrin will start serving phones as soon as it is free.",
            false, true};
  if ((ports & kPortAnnouncing) == 0)
    return {L"Phones cannot find this computer",
            L"Port 2008 (UDP) is in use by another program. Until it is free, enter this computer's address in "
            L"the phone.\nIP Address : ",
            true, true};
  return {L"Tavrin is serving phones now", L"The port is free again.\nIP Address : ", true, false};
}

}  // namespace tavrin
