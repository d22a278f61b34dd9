// Messages from phones as desktop notifications (org.freedesktop.
// Notifications on the session bus), the balloons of the Windows build. A
// click on one opens its target with xdg-open, when the target is a web or
// mail link (shell/peer_target.h judges it; a phone never makes this
// program start a program or open another computer's files).
#pragma once
#include <QObject>
#include <QString>
#include <map>

#include "base/log.h"

namespace tavrin {

class PhoneMessages : public QObject {
  Q_OBJECT
 public:
  explicit PhoneMessages(Log& log);
  // Shows "Message from Quillo" with the phone's title as its body. The
  // title is escaped: servers read the body as markup, and a phone must not
  // make a link or an image of it.
  void show(const char* title, const char* target);

 private slots:
  void actionInvoked(uint id, const QString& action);
  void closed(uint id, uint reason);

 private:
  static constexpr size_t kRemembered = 16;  // targets of the newest notifications
  Log& log_;
  std::map<uint, QString> targets_;
};

}  // namespace tavrin
