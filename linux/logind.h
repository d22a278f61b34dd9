// The session and the machine as systemd-logind sees them, over the system
// bus: whether this session is locked (its LockedHint), and the power-off
// that follows the user's confirmation of a phone's shutdown.
//
// On X a locker is just another window: input a phone makes while the
// session is locked would reach it (a typed password field) or what lies
// behind it. So while locked, phones' input has no effect and what they hold
// is let go.
#pragma once
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <QStringList>
#include <functional>

#include "base/log.h"

namespace tavrin {

class SessionLockWatch : public QObject {
  Q_OBJECT
 public:
  // `changed` is called on the main thread with the new state, and once at
  // start when the session is found.
  SessionLockWatch(Log& log, std::function<void(bool locked)> changed);
  // Finds this session (XDG_SESSION_ID, else the one of this process) and
  // follows its LockedHint; false, with a line in the log, where there is no
  // logind to ask.
  bool start();

 private slots:
  void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

 private:
  void readLocked();
  void apply(bool locked);

  Log& log_;
  std::function<void(bool)> changed_;
  QString path_;
  int known_ = -1;  // -1 before the first answer
};

// Asks logind to power the machine off (after the user said so). The answer
// comes later; a refusal goes to the log.
void PowerOff(Log& log);

}  // namespace tavrin
