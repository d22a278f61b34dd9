// The tray icon and its menu (the Windows build's texts), or, where the
// session has no tray to show it in, a small window with the same menu.
#pragma once
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>
#include <functional>
#include <memory>

#include "base/log.h"

namespace tavrin {

class Tray {
 public:
  // `phones` is the Phones submenu; `exit` runs when the user chooses Exit.
  Tray(Log& log, QMenu* phones, std::function<void()> exit);
  ~Tray();

 private:
  Log& log_;
  QMenu menu_;
  QSystemTrayIcon icon_;
  std::unique_ptr<QWidget> window_;
};

}  // namespace tavrin
