// The tray icon and its menu (the Windows build's texts), or, where the
// session has no tray to show it in, a small window with the same menu. A
// tray host (the StatusNotifierWatcher) that comes later (a panel started
// after the program) gets the icon then; one that goes away leaves the
// window in its place until it comes back, and Qt registers the icon with
// it again.
#pragma once
#include <QLabel>
#include <QMenu>
#include <QDBusServiceWatcher>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "base/log.h"
#include "seams/network_info.h"
#include "shell/phone_roster.h"

namespace tavrin {

class Tray {
 public:
  // `phones` and `recent` are the Phones and Recent Messages submenus;
  // `exit` runs when the user chooses Exit. The tip and the address item
  // follow `network` and `roster`.
  Tray(Log& log, NetworkInfo& network, PhoneRoster& roster, QMenu* phones, QMenu* recent,
       std::function<void()> exit);
  ~Tray();

 private:
  // "IP Address : ..." of the addresses phones can use, best first.
  QString addressLine();
  void refreshTip();
  void showWindow(const char* why);
  void buildWindow();
  void watchTrayHost();
  void showIcon();

  Log& log_;
  NetworkInfo& network_;
  PhoneRoster& roster_;
  QAction* addresses_ = nullptr;
  QLabel* status_ = nullptr;  // the small window's text
  QTimer tipTimer_;
  QTimer hostGoneTimer_;  // a host that restarts is given a moment to come back
  QTimer hostReadyTimer_;  // until a host can show the icon
  QMenu menu_;
  QIcon programIcon_;
  std::unique_ptr<QSystemTrayIcon> icon_;  // made once the session has a tray
  std::unique_ptr<QWidget> window_;
  std::unique_ptr<QDBusServiceWatcher> hostWatch_;
};

}  // namespace tavrin
