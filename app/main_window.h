// The hidden main window: it owns the server, the Win32 side of the seams the
// server's worker uses, the tray icon and everything the tray program keeps
// between messages. Everything here runs on the main thread.
#pragma once
#include <windows.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "app/address_watch.h"
#include "app/firewall.h"
#include "app/tray_icon.h"
#include "app/win32_platform.h"
#include "base/log.h"
#include "base/win32_handles.h"
#include "server/remote_server.h"
#include "shell/elevation_notice.h"
#include "shell/firewall_check.h"
#include "shell/phone_roster.h"
#include "shell/recent_messages.h"

namespace tavrin {

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
  bool preTranslate(MSG& message);

 private:
  MainWindow(HINSTANCE instance, Log* log);
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  void onCreate();
  void onDestroy();
  void addTrayIconOrRetry();
  // The tip: "Tavrin", then what is wrong with the ports or the addresses.
  void composeTip(wchar_t* tip, size_t capacity) const;
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
  void refreshTip(bool always);
  void syncPrompt();
  // Disables the allow buttons for kPromptArmMs (a new phone is shown).
  void armPrompt();
  void answerPrompt(Answer answer);
  static INT_PTR CALLBACK PromptProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handlePrompt(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

  // The session's life: lock, sleep, another session, log-off (session_events.cpp).
  void watchSession();
  void unwatchSession();
  void onSessionChange(WPARAM change, LPARAM session);
  LRESULT onPowerBroadcast(WPARAM event);
  void onEndSession(bool ending);
  // Off while another session is on the screen: the server gives up its
  // phones and ports, and the tip says why.
  void setServing(bool serving);

  // The menu and the about box (tray_menu.cpp).
  void showTrayMenu(POINT anchor);
  bool onMenuCommand(UINT command);
  void showAboutBox();
  static INT_PTR CALLBACK AboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handleAbout(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

  // Whether the firewall lets phones in (firewall_tray.cpp).
  void startFirewallWatch();
  void stopFirewallWatch();
  void onFirewallTimer(UINT_PTR timer);
  void checkFirewall();
  void fillFirewallItems(HMENU tray);
  void allowPhonesThroughFirewall();

  HINSTANCE instance_;
  HWND window_ = nullptr;
  Log* log_;
  UINT taskbarCreatedMessage_ = 0;

  Win32Injector injector_;
  Win32Desktop desktop_;
  Win32NetworkInfo network_;
  std::unique_ptr<Win32UserInterface> userInterface_;
  std::unique_ptr<RemoteServer> server_;
  std::unique_ptr<TrayIcon> trayIcon_;
  WindowPromptListener promptListener_;
  Win32NeighbourTable neighbours_;
  PhoneRoster roster_{&promptListener_, &neighbours_};
  // The prompt while it is open, and the phone it asks about.
  HWND promptDialog_ = nullptr;
  PhoneId promptFor_ = 0;
  // The phones of the menu while it is open, for its Disconnect commands.
  std::vector<PhoneId> menuPhones_;
  // What the tip last said of the phones.
  size_t tipPhones_ = 0;
  bool tipPaused_ = false;

  bool autorunEnabled_ = false;
  bool startBalloonShown_ = false;
  AddressWatch addressWatch_;
  DWORD sessionId_ = 0;
  bool sessionWatched_ = false;
  bool serving_ = true;
  uint64_t menuClosedTick_ = 0;
  // The last phone messages, and which balloon is on show.
  RecentMessages recent_;
  // The messages of the menu while it is open, for its commands.
  std::vector<uint64_t> menuMessages_;
  // What the worker last said of its ports (1 listening | 2 announcing);
  // until it speaks, nothing is missing.
  WPARAM ports_ = 3;  // kAllPortsOpen
  // Set while WM_DESTROY stops the server: messages that arrive meanwhile
  // must not bring the tray icon back.
  bool stopping_ = false;
  bool workerAbandoned_ = false;
  bool confirmationOpen_ = false;
  // The about box while it is open, and its underlined link font.
  HWND aboutDialog_ = nullptr;
  unique_hfont linkFont_;

  Win32FirewallInfo firewallInfo_;
  FirewallCheck firewall_{firewallInfo_};
  NetworkChangeWatch networkWatch_;
  // The elevated copy that changes the firewall, while it runs.
  unique_handle allowCopy_;
};

}  // namespace tavrin
