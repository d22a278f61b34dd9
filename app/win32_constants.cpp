// The one place where the portable layers' copies of Win32 values are held
// against windows.h: the core builds input records, window commands, display
// changes and posted messages from its own constants, so each must be what
// Windows means by it. Nothing here makes code.
#include <windows.h>
#include <netfw.h>

#include "actions/presentation.h"
#include "actions/window_actions.h"
#include "input/key_rows.h"
#include "input/text_entry.h"
#include "seams/desktop.h"
#include "seams/firewall.h"
#include "seams/input_codes.h"
#include "seams/system.h"
#include "shell/elevation_notice.h"

namespace tavrin {

// Input records, keyboard layouts and key codes (seams/input_codes.h).
static_assert(kKeyEventExtendedKey == KEYEVENTF_EXTENDEDKEY && kKeyEventKeyUp == KEYEVENTF_KEYUP &&
              kKeyEventUnicode == KEYEVENTF_UNICODE);
static_assert(kMapVirtualKeyToScanCode == MAPVK_VK_TO_VSC && kMapVirtualKeyToChar == MAPVK_VK_TO_CHAR);
// MapVirtualKeyExW marks a dead key in the top bit of its answer.
static_assert(kDeadKeyBit == 0x80000000u);
// VkKeyScanExW's high byte: 1 Shift, 2 Ctrl, 4 Alt.
static_assert(kShiftStateShift == 1 && kShiftStateControl == 2 && kShiftStateAlt == 4);
static_assert(kMouseMove == MOUSEEVENTF_MOVE && kMouseLeftDown == MOUSEEVENTF_LEFTDOWN &&
              kMouseLeftUp == MOUSEEVENTF_LEFTUP && kMouseRightDown == MOUSEEVENTF_RIGHTDOWN &&
              kMouseRightUp == MOUSEEVENTF_RIGHTUP && kMouseMiddleDown == MOUSEEVENTF_MIDDLEDOWN &&
              kMouseMiddleUp == MOUSEEVENTF_MIDDLEUP && kMouseWheel == MOUSEEVENTF_WHEEL);
static_assert(kVkTab == VK_TAB && kVkShift == VK_SHIFT && kVkControl == VK_CONTROL && kVkMenu == VK_MENU &&
              kVkEscape == VK_ESCAPE && kVkPageUp == VK_PRIOR && kVkPageDown == VK_NEXT && kVkT == 'T' &&
              kVkLeftWindows == VK_LWIN && kVkF5 == VK_F5);
// The key tables (input/key_rows.h): the named keys, the US layout's
// punctuation keys, and the keys sent with the extended flag.
constexpr int32_t Named(std::string_view name) { return KeyRowCode(kKeyNameRows, name); }
static_assert(Named("ESC") == VK_ESCAPE && Named("RTN") == VK_RETURN && Named("BAS") == VK_BACK &&
              Named("TAB") == VK_TAB && Named("PRN") == VK_SNAPSHOT && Named("CTRL") == VK_CONTROL &&
              Named("ALT") == VK_MENU && Named("SHIFT") == VK_SHIFT && Named("CAP") == VK_CAPITAL &&
              Named("INS") == VK_INSERT && Named("DEL") == VK_DELETE && Named("HOME") == VK_HOME &&
              Named("END") == VK_END && Named("PGUP") == VK_PRIOR && Named("PGDN") == VK_NEXT);
static_assert(Named("UP") == VK_UP && Named("DW") == VK_DOWN && Named("LF") == VK_LEFT && Named("RT") == VK_RIGHT &&
              Named("WIN") == VK_LWIN && Named("MENU") == VK_APPS && Named("SPC") == VK_SPACE &&
              Named("F1") == VK_F1 && Named("F12") == VK_F12 && Named("a") == 'A' && Named("0") == '0');
static_assert(Named("-") == VK_OEM_MINUS && Named("=") == VK_OEM_PLUS && Named("`") == VK_OEM_3 &&
              Named("[") == VK_OEM_4 && Named("]") == VK_OEM_6 && Named(";") == VK_OEM_1 && Named("'") == VK_OEM_7 &&
              Named("\\") == VK_OEM_5 && Named(",") == VK_OEM_COMMA && Named(".") == VK_OEM_PERIOD &&
              Named("/") == VK_OEM_2);
static_assert(KeyRowCode(kShiftedCharRows, "@") == '2' && KeyRowCode(kShiftedCharRows, "?") == VK_OEM_2);
constexpr uint16_t kWindowsExtendedKeys[] = {
    VK_PRIOR, VK_NEXT, VK_END, VK_HOME, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_SNAPSHOT, VK_INSERT, VK_DELETE,
    VK_LWIN, VK_RWIN, VK_APPS, VK_DIVIDE, VK_NUMLOCK, VK_RCONTROL, VK_RMENU, VK_BROWSER_BACK, VK_BROWSER_FORWARD,
    VK_BROWSER_REFRESH, VK_BROWSER_STOP, VK_BROWSER_SEARCH, VK_BROWSER_FAVORITES, VK_BROWSER_HOME, VK_VOLUME_MUTE,
    VK_VOLUME_DOWN, VK_VOLUME_UP, VK_MEDIA_NEXT_TRACK, VK_MEDIA_PREV_TRACK, VK_MEDIA_STOP, VK_MEDIA_PLAY_PAUSE};
constexpr bool SameKeys() {
  if (sizeof kWindowsExtendedKeys != sizeof kExtendedKeys) return false;
  for (size_t i = 0; i < sizeof kExtendedKeys / sizeof kExtendedKeys[0]; ++i)
    if (kExtendedKeys[i] != kWindowsExtendedKeys[i]) return false;
  return true;
}
static_assert(SameKeys());
static_assert(kVkBrowserBack == VK_BROWSER_BACK && kVkBrowserForward == VK_BROWSER_FORWARD &&
              kVkBrowserRefresh == VK_BROWSER_REFRESH && kVkBrowserStop == VK_BROWSER_STOP &&
              kVkBrowserSearch == VK_BROWSER_SEARCH && kVkBrowserFavorites == VK_BROWSER_FAVORITES &&
              kVkBrowserHome == VK_BROWSER_HOME);
static_assert(kVkVolumeMute == VK_VOLUME_MUTE && kVkVolumeDown == VK_VOLUME_DOWN && kVkVolumeUp == VK_VOLUME_UP &&
              kVkMediaNextTrack == VK_MEDIA_NEXT_TRACK && kVkMediaPrevTrack == VK_MEDIA_PREV_TRACK &&
              kVkMediaPlayPause == VK_MEDIA_PLAY_PAUSE);

// Window styles (seams/desktop.h) and the window commands (actions/window_actions.h).
static_assert(kStyleMaximizeBox == WS_MAXIMIZEBOX && kStyleMinimizeBox == WS_MINIMIZEBOX &&
              kStyleThickFrame == WS_THICKFRAME && kStyleMaximize == WS_MAXIMIZE && kStyleVisible == WS_VISIBLE);
static_assert(kScClose == SC_CLOSE && kScMinimize == SC_MINIMIZE && kScRestore == SC_RESTORE &&
              kScMaximize == SC_MAXIMIZE);
static_assert(kSwRestore == SW_RESTORE && kSwMaximize == SW_MAXIMIZE &&
              kSwpNoZOrderNoOwnerZOrder == (SWP_NOZORDER | SWP_NOOWNERZORDER));
static_assert(sizeof DisplayDevice{}.deviceName == sizeof DISPLAY_DEVICEW{}.DeviceName, "device names have 32 units");

// The presentation program and the displays (actions/presentation.h).
static_assert(kPathCapacity == MAX_PATH);
static_assert(kDisplayAttachedToDesktop == DISPLAY_DEVICE_ATTACHED_TO_DESKTOP &&
              kDisplayMirroringDriver == DISPLAY_DEVICE_MIRRORING_DRIVER && kDisplayDisconnect == DISPLAY_DEVICE_DISCONNECT);
static_assert(kDmPosition == DM_POSITION && kDmPositionAndSize == (DM_POSITION | DM_PELSWIDTH | DM_PELSHEIGHT));
static_assert(kCdsSetPrimaryDeferred == (CDS_SET_PRIMARY | CDS_UPDATEREGISTRY | CDS_NORESET) &&
              kCdsDeferred == (CDS_UPDATEREGISTRY | CDS_NORESET));

// Text entry into windows that are not Unicode windows (input/text_entry.h).
static_assert(kWmInputLangChangeRequest == WM_INPUTLANGCHANGEREQUEST && kWmChar == WM_CHAR &&
              kInputLangChangeSysCharset == INPUTLANGCHANGE_SYSCHARSET);
static_assert(kEnglishUnitedStates == MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));

// The worker thread's endless wait (seams/system.h).
static_assert(WorkerThread::kForever == INFINITE);

// Integrity levels (shell/elevation_notice.h).
static_assert(kIntegritySystem == SECURITY_MANDATORY_SYSTEM_RID);

// The firewall's profiles and protocols (seams/firewall.h).
static_assert(kProfileDomain == NET_FW_PROFILE2_DOMAIN && kProfilePrivate == NET_FW_PROFILE2_PRIVATE &&
              kProfilePublic == NET_FW_PROFILE2_PUBLIC);
// (NET_FW_IP_PROTOCOL_ANY, kProtocolAny, is missing from mingw-w64's netfw.h.)
static_assert(kProtocolTcp == NET_FW_IP_PROTOCOL_TCP);

}  // namespace tavrin
