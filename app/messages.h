// The main window's private messages and timers, and the one tray icon's id.
#pragma once
#include <windows.h>

namespace tavrin {

constexpr UINT TrayCallbackMessage = WM_USER + 17;     // 1041, from the notification area
constexpr UINT PeerBalloonMessage = WM_USER + 58;      // 1082, sent by the worker: wParam title, lParam target
constexpr UINT ShutdownRequestMessage = WM_USER + 80;  // 1104, posted by the worker
constexpr UINT ServerPortsMessage = WM_USER + 90;      // 1114, posted by the worker: wParam 1 listening | 2 announcing
constexpr UINT PromptChangedMessage = WM_USER + 91;    // 1115, posted: the prompt should open, close or switch
constexpr UINT ElevatedWindowMessage = WM_USER + 92;   // 1116, posted by the worker: the window in front runs elevated
constexpr UINT AddressesChangedMessage = WM_USER + 93; // 1117, posted: the local IPv4 addresses changed
constexpr UINT NetworkChangedMessage = WM_USER + 120;  // 1144, posted by the network list: a network came, went or changed

constexpr UINT kTrayIconId = 1;
// How long a balloon stays (the shell may keep it shorter or longer).
constexpr UINT kBalloonMs = 10000;
// Retries adding the tray icon while the taskbar is not there yet.
constexpr UINT_PTR kTrayRetryTimer = 1;
constexpr UINT kTrayRetryMs = 2000;
// Brings the tip's count of phones up to date.
constexpr UINT_PTR kTipTimer = 2;
constexpr UINT kTipMs = 2000;
// Enables the prompt's allow buttons once it has shown its phone this long:
// a click or a key meant for something else must not answer for a phone
// the user has not seen (the delay browsers give their permission prompts).
constexpr UINT_PTR kPromptArmTimer = 3;
constexpr UINT kPromptArmMs = 1000;
// Asks the firewall whether phones get through: shortly after start, and once
// the network list's notices have settled (they come in bursts).
constexpr UINT_PTR kFirewallCheckTimer = 20;
constexpr UINT kFirewallCheckDelayMs = 1500;
// ...and again while Windows' own question about Tavrin waits for an answer
// (for its first minute).
constexpr UINT kFirewallQuestionMs = 5000;
// Looks whether the elevated copy that changes the firewall has ended.
constexpr UINT_PTR kFirewallCopyTimer = 21;
constexpr UINT kFirewallCopyPollMs = 500;
// Asks again for the session's notices while Windows cannot take the request
// yet (at logon), a minute at most.
constexpr UINT_PTR kSessionWatchTimer = 30;
constexpr UINT kSessionWatchRetryMs = 5000;
constexpr int kSessionWatchTries = 12;

}  // namespace tavrin
