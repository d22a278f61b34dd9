// The application shell: the hidden main window, its tray icon, menu and
// about box, the autorun entry and the main thread's side of the requests
// that come from the server's worker thread.
#pragma once
#include <windows.h>

#include <cstddef>

namespace tavrin {

class RemoteServer;

// Private messages of the main window.
constexpr UINT TrayCallbackMessage = WM_USER + 17;     // 1041, from the notification area
constexpr UINT PeerBalloonMessage = WM_USER + 58;      // 1082, sent by the worker: wParam title, lParam target
constexpr UINT ShutdownRequestMessage = WM_USER + 80;  // 1104, posted by the worker
constexpr UINT ServerPortsMessage = WM_USER + 90;      // 1114, posted by the worker: wParam 1 listening | 2 announcing

constexpr UINT kTrayIconId = 1;
// Retries adding the tray icon while the taskbar is not there yet.
constexpr UINT_PTR kTrayRetryTimer = 1;
constexpr UINT kTrayRetryMs = 2000;
constexpr size_t kShellTextCapacity = 100;   // window title and class name
constexpr size_t kPeerTargetUnits = 2048;    // peerMessageTarget

// Process-wide state of the shell, touched on the main thread only.
extern HINSTANCE instanceHandle;
extern HWND mainWindowHandle;
extern wchar_t windowTitle[kShellTextCapacity];
extern wchar_t windowClassName[kShellTextCapacity];
extern wchar_t configFilePath[MAX_PATH + 16];
extern RemoteServer* serverInstance;
extern bool autorunEnabled;
extern wchar_t peerMessageTarget[kPeerTargetUnits];

// Start-up and main window.
ATOM RegisterWindowClasses(HINSTANCE instance);
bool CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Sets configFilePath; leaves it empty when the folder cannot be determined.
void DetermineConfigFilePath();
void DeleteConfigFile();

// Tray icon, menu and about box.
// False when the taskbar did not take the icon (at logon it may not be
// ready yet): the caller tries again later.
bool AddTrayIcon(HWND window);
void RemoveTrayIcon(HWND window);
void OnTrayCallback(HWND window, WPARAM iconId, LPARAM event);
void ShowTrayMenu(HWND window);
// Appends the local addresses to `text` (capacity in UTF-16 units, zero
// included); false when the address table cannot be read.
bool ListLocalAddresses(wchar_t* text, size_t capacity);
// Carries out a tray menu command; false when the command has no action.
bool OnMenuCommand(HWND window, UINT command);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void OpenTarget(const wchar_t* target);
// Opens a phone message's target if a phone may open it; false when it was
// refused (see ClassifyPeerTarget). An empty target opens nothing and is fine.
bool OpenPeerTarget(const wchar_t* target);
void ShowTargetRefusedBalloon(HWND window);

// Autorun entry.
void EnableAutorun();
void DisableAutorun();
bool QueryAutorun();

// Peer messages.
LRESULT ShowPeerBalloon(HWND window, const char* title, const char* target);

// The server's ports: the tip and a balloon while another program holds one.
void OnServerPorts(HWND window, WPARAM ports);
// After the icon is added again: says once more what is missing, if anything.
void ReapplyServerPorts(HWND window);

// System actions on the main thread.
void RefreshCompositionFlag();
void ConfirmAndShutDown();

}  // namespace tavrin
