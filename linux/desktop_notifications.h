// Messages from phones as desktop notifications (org.freedesktop.
// Notifications on the session bus), the balloons of the Windows build. A
// click on one opens its target with xdg-open, when the target is a web or
// mail link (shell/peer_target.h judges it; a phone never makes this
// program start a program or open another computer's files). A daemon that
// goes away and comes back is used again: calls and signals follow the
// name; the ids of its notifications go with it.
#pragma once
#include <QMenu>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <map>

#include "base/log.h"
#include "shell/recent_messages.h"

namespace tavrin {

// Opens `target` with xdg-open when it is a web or mail link, as a click on
// a phone's message does; anything else only goes to the log.
void OpenLink(Log& log, const QString& target);

class PhoneMessages : public QObject {
  Q_OBJECT
 public:
  explicit PhoneMessages(Log& log);
  // Shows "Message from Quillo" with the phone's title as its body. The
  // title is escaped: servers read the body as markup, and a phone must not
  // make a link or an image of it.
  void show(const char* title, const char* target);
  // "Recent Messages": the last ones, for a user who missed a notification;
  // choosing one opens its link as a click on it would.
  QMenu* recentMenu() { return &recentMenu_; }

 private slots:
  void actionInvoked(uint id, const QString& action);
  void closed(uint id, uint reason);

 private:
  static constexpr size_t kRemembered = 16;  // targets of the newest notifications
  void fillRecentMenu();

  Log& log_;
  QDBusServiceWatcher daemonWatch_;
  std::map<uint, QString> targets_;
  RecentMessages recent_;
  QMenu recentMenu_{QStringLiteral("Recent &Messages")};
};

}  // namespace tavrin
