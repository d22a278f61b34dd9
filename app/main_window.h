// The hidden main window: it owns the server, the Win32 side of the seams the
// server's worker uses, the tray icon and its rooms (the tip, the prompt of
// "Ask", the about box), and routes their messages. Everything here runs on
// the main thread. Members are declared in the order they may be destroyed
// in reverse: what the worker uses before the server, the window last.
#pragma once
#include <windows.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "app/about_box.h"
#include "app/address_watch.h"
#include "app/firewall.h"
#include "app/phone_prompt.h"
#include "app/tray_icon.h"
#include "app/tray_tip.h"
#include "app/win32_platform.h"
#include "base/log.h"
#include "base/win32_handles.h"
#include "shell/firewall_check.h"
#include "shell/phone_roster.h"
#include "shell/recent_messages.h"

namespace tavrin {

class RemoteServer;

constexpr size_t kShellTextCapacity = 100;  // window title and class name

// The popup of `menu` that holds the item `command` (the Phones submenu
// holds Pause Phones), or null.
HMENU SubMenuHolding(HMENU menu, UINT command);

class MainWindow {
 public:
  // Registers the window class named by the string table; the texts are
  // loaded by the caller (the class name is also the mutex's and the window
  // tests find).
  static bool RegisterClass(HINSTANCE instance, const wchar_t* className);
  // Creates the never-shown window; its creation starts the server and adds
  // the tray icon. Null when no window could be made.
  static std::unique_ptr<MainWindow> Create(HINSTANCE instance, const wchar_t* className, const wchar_t* title,
                                            Log* log);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // True when Exit found the worker stuck in another program's call: the
  // process must end without destroying what the worker uses.
  bool workerAbandoned() const { return workerAbandoned_; }
  // Lets the prompt's dialog have its keys (Tab, Enter, Esc); true when the
  // message was its and is handled.
  bool preTranslate(MSG& message) { return prompt_.preTranslate(message); }

 private:
  MainWindow(HINSTANCE instance, Log* log);
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  void onCreate();
  void onDestroy();
  void addTrayIconOrRetry();
  void showTip();
  void onServerPorts(WPARAM ports);
  // The tip and the balloon for the ports as they are now.
  void showPortNotice();
  void onTrayCallback(WPARAM wParam, LPARAM lParam);
  // Phone messages (peer_messages.cpp): the balloon, its click, and the
  // Recent Messages submenu.
  void showPeerBalloon(const char* title, const char* target);
  void onBalloonEvent(UINT event);
  void openMessageTarget(const wchar_t* target);
  void fillRecentMenu(HMENU tray);
  bool onRecentCommand(UINT command);
  void showOwnBalloon(const wchar_t* title, const wchar_t* text, DWORD flags);
  void confirmAndShutDown();

  // Who controls the computer (phone_control.cpp).
  void loadPhoneSettings();
  void fillPhonesMenu(HMENU tray);
  bool onPhoneCommand(UINT command);
  // Sets the tip when the phones or the pause changed, or `always`.
  void refreshTip(bool always);

  // The session's life: lock, sleep, another session, log-off (session_events.cpp).
  void watchSession();
  void trySessionWatch();
  static void UnwatchSession(HWND window) noexcept;
  void onSessionChange(WPARAM change, LPARAM session);
  LRESULT onPowerBroadcast(WPARAM event);
  void onEndSession(bool ending);
  // Off while another session is on the screen: the server gives up its
  // phones and ports, and the tip says why.
  void setServing(bool serving);

  // The menu (tray_menu.cpp).
  void showTrayMenu(POINT anchor);
  bool onMenuCommand(UINT command);
  void forgetMenuLists();

  // Whether the firewall lets phones in (firewall_tray.cpp).
  void startFirewallWatch();
  void stopFirewallWatch();
  void onFirewallTimer(UINT_PTR timer);
  void checkFirewall();
  void fillFirewallItems(HMENU tray);
  void allowPhonesThroughFirewall();

  HINSTANCE instance_;
  // The window while it exists: set by its first message, cleared by its last.
  HWND window_ = nullptr;
  Log* log_;
  UINT taskbarCreatedMessage_ = 0;

  // What the worker uses, declared before the server: it outlives the
  // server's stop whichever way the server goes.
  Win32Injector injector_;
  Win32Desktop desktop_;
  Win32NetworkInfo network_;
  WindowPromptListener promptListener_;
  Win32NeighbourTable neighbours_;
  PhoneRoster roster_{&promptListener_, &neighbours_};
  std::unique_ptr<Win32UserInterface> userInterface_;
  std::unique_ptr<RemoteServer> server_;

  std::unique_ptr<TrayIcon> trayIcon_;
  Win32FirewallInfo firewallInfo_;
  FirewallCheck firewall_{firewallInfo_};
  NetworkChangeWatch networkWatch_;
  // The elevated copy that changes the firewall, while it runs.
  unique_handle allowCopy_;
  TrayTip tip_{firewall_};
  PhonePrompt prompt_{instance_, roster_, log_};
  AboutBox about_{instance_};
  // The phones of the menu while it is open, for its Disconnect commands.
  std::vector<PhoneId> menuPhones_;

  bool startBalloonShown_ = false;
  AddressWatch addressWatch_;
  DWORD sessionId_ = 0;
  // The session's notices, while they come to the window.
  unique_any<HWND, UnwatchSession> sessionWatch_;
  int sessionWatchTries_ = 0;  // failed requests for them
  uint64_t menuClosedTick_ = 0;
  bool menuOpen_ = false;
  // The last phone messages, and which balloon is on show.
  RecentMessages recent_;
  // The messages of the menu while it is open, for its commands.
  std::vector<uint64_t> menuMessages_;
  // Set while WM_DESTROY stops the server: messages that arrive meanwhile
  // must not bring the tray icon back.
  bool stopping_ = false;
  bool workerAbandoned_ = false;
  bool confirmationOpen_ = false;

  // Destroyed first: its WM_DESTROY stops the server and removes the icon
  // while all of the above is still there. Exit and the session's end
  // destroy it early through this owner.
  unique_hwnd ownWindow_;
};

}  // namespace tavrin
