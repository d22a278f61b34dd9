#include "app/desktop_shell.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "app/win32_platform.h"
#include "shell/address_line.h"
#include "shell/peer_target.h"

namespace tavrin {

namespace {

// Rows read from the address table; more than any tip or caption can show.
constexpr uint32_t kAddressRowCapacity = 64;

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
  AppendAddressList(text, capacity, rows, count);
  return true;
}

}  // namespace tavrin
