// Windows Defender Firewall and the network list, for phones that find the
// computer but cannot connect: the seam's queries (no administrator rights
// needed), the watch on network changes, and the two command-line switches
// that change the firewall, run elevated:
//
//   Tavrin.exe --allow-phones-through-firewall
//       removes the inbound block rules for this program's file (those
//       Windows adds silently for a standard user) and adds one rule that
//       lets phones in: inbound TCP 1978 to this program, on private and
//       domain networks. The tray menu starts it through the UAC prompt.
//   Tavrin.exe --remove-firewall-rule
//       removes that rule again (the uninstaller runs it); when there is one
//       and this copy is not elevated, it starts an elevated copy and waits.
//   Tavrin.exe --remove-firewall-rule --elevated-copy
//       that copy: it removes the rule and never starts another.
//
// Neither ever touches a rule of another program, and each exits with 0
// when it did its job, 1 when it could not. Everything here runs on a
// thread that has joined a COM apartment.
#pragma once
#include <windows.h>
#include <netlistmgr.h>
#include <ocidl.h>

#include <optional>
#include <string>
#include <vector>

#include "base/win32_handles.h"
#include "seams/firewall.h"

namespace tavrin {

inline constexpr wchar_t kAllowFirewallSwitch[] = L"--allow-phones-through-firewall";
inline constexpr wchar_t kRemoveFirewallRuleSwitch[] = L"--remove-firewall-rule";
inline constexpr wchar_t kRemoveFirewallRuleCopySwitch[] = L"--remove-firewall-rule --elevated-copy";

class Win32FirewallInfo final : public FirewallInfo {
 public:
  bool firewall(FirewallState& state) override;
  bool connectedNetworks(std::vector<ConnectedNetwork>& networks) override;
};

// Runs the switch that is the whole command line, and gives the process's
// exit code; nothing when the command line is not one of them.
std::optional<int> RunFirewallSwitch(const wchar_t* commandLine);

// Starts this program again with `parameters` through the UAC prompt. The
// new process, or null with GetLastError() set (ERROR_CANCELLED: the user
// said no).
unique_handle StartElevatedCopy(HWND owner, const wchar_t* parameters);

// Posts `message` to `window` when a network comes or goes, or changes its
// connectivity or category (Public, Private). The calls arrive through the
// message loop of the thread that started the watch.
class NetworkChangeWatch {
 public:
  NetworkChangeWatch() = default;
  ~NetworkChangeWatch() { stop(); }
  NetworkChangeWatch(const NetworkChangeWatch&) = delete;
  NetworkChangeWatch& operator=(const NetworkChangeWatch&) = delete;

  // False when the network list offers no such notice.
  bool start(HWND window, UINT message);
  void stop();

 private:
  unique_com<INetworkListManager> manager_;
  unique_com<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

}  // namespace tavrin
