#include "app/desktop_shell.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstdlib>

#include "app/win32_platform.h"
#include "base/unique_any.h"
#include "shell/address_line.h"
#include "shell/peer_target.h"

namespace tavrin {

namespace {


// Marks each row with how likely a phone is to reach it, from what the
// system says of its adapter. Rows of adapters it does not list stay as
// they are.
void RankByAdapter(AddressRow* rows, uint32_t count) {
  constexpr ULONG kFlags = GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                           GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  unique_malloc<IP_ADAPTER_ADDRESSES> adapters;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The list can grow between the two calls: ask a few times.
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    adapters.reset(static_cast<IP_ADAPTER_ADDRESSES*>(std::malloc(size)));
    if (!adapters) return;
    result = GetAdaptersAddresses(AF_INET, kFlags, nullptr, adapters.get(), &size);
  }
  if (result != NO_ERROR) return;
  for (const IP_ADAPTER_ADDRESSES* adapter = adapters.get(); adapter != nullptr; adapter = adapter->Next) {
    const bool isVirtual = adapter->IfType == IF_TYPE_PPP || adapter->IfType == IF_TYPE_TUNNEL ||
                           adapter->IfType == IF_TYPE_PROP_VIRTUAL || IsVirtualAdapterName(adapter->Description) ||
                           IsVirtualAdapterName(adapter->FriendlyName);
    const uint8_t reach =
        AddressReach(adapter->OperStatus == IfOperStatusUp, adapter->FirstGatewayAddress != nullptr, isVirtual);
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const sockaddr* address = unicast->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      const uint32_t ipv4 = reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
      for (uint32_t i = 0; i < count; ++i)
        if (rows[i].address == ipv4) rows[i].reach = reach;
    }
  }
}

}  // namespace

void OpenTarget(const wchar_t* target) { ShellExecuteW(nullptr, L"open", target, nullptr, nullptr, SW_SHOW); }

bool OpenPeerTarget(const wchar_t* target) {
  const PeerTarget judged = ClassifyPeerTarget(target);
  switch (judged.kind) {
    case PeerTargetKind::Nothing: return true;
    case PeerTargetKind::Link: OpenTarget(target); return true;
    case PeerTargetKind::Document: {
      // A mapped drive is another computer; and the shell knows more
      // dangerous types than any list kept here.
      const wchar_t root[] = {judged.drive, L':', L'\\', L'\0'};
      if (GetDriveTypeW(root) == DRIVE_REMOTE) return false;
      wchar_t extension[64] = L".";
      if (judged.extension.size() + 2 > sizeof extension / sizeof extension[0]) return false;
      judged.extension.copy(extension + 1, judged.extension.size());
      extension[judged.extension.size() + 1] = L'\0';
      if (AssocIsDangerous(extension)) return false;
      OpenTarget(target);
      return true;
    }
    case PeerTargetKind::Refused: break;
  }
  return false;
}

bool ListLocalAddresses(wchar_t* text, size_t capacity) {
  AddressRow rows[kAddressRowCapacity];
  uint32_t count = 0;
  Win32NetworkInfo network;
  if (!network.readAddressTable(rows, kAddressRowCapacity, count)) return false;
  RankByAdapter(rows, count);
  OrderByReach(rows, count);
  AppendAddressList(text, capacity, rows, count);
  return true;
}

}  // namespace tavrin
