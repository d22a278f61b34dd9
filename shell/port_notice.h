// What the tray says while another program holds one of the server's ports:
// TCP 1978 (phones cannot connect) or UDP 2008 (phones cannot find the
// computer), and again when serving starts.
#pragma once
#include <cstdint>

namespace tavrin {

constexpr uint32_t kPortListening = 1;
constexpr uint32_t kPortAnnouncing = 2;
constexpr uint32_t kAllPortsOpen = kPortListening | kPortAnnouncing;

struct PortNotice {
  const wchar_t* title;  // of the balloon
  const wchar_t* text;   // of the balloon
  bool addresses;        // the balloon text ends with the address line
  bool warning;          // a warning balloon, not an information one
};

// The tip's line after "Tavrin\n" while a port is missing; null when both
// are open (the tip then lists the addresses).
const wchar_t* PortNoticeTip(uint32_t ports);
// The balloon for the ports the worker holds now.
PortNotice PortNoticeFor(uint32_t ports);

}  // namespace tavrin
