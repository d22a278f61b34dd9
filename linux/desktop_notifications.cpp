#include "linux/desktop_notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QProcess>
#include <QStringList>
#include <QTime>
#include <QVariantMap>

#include "seams/system.h"
#include "shell/peer_target.h"

namespace tavrin {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kDefaultAction = QStringLiteral("default");  // a click on the notification itself

// Only web and mail links open here: a document target names a Windows drive.
bool MayOpen(const QString& target) {
  const std::wstring wide = target.toStdWString();
  return ClassifyPeerTarget(wide).kind == PeerTargetKind::Link;
}
}  // namespace

void OpenLink(Log& log, const QString& target) {
  if (!MayOpen(target)) {
    log.write(LogLevel::Warning, "a target was not opened: not a web or mail link");
    return;
  }
  if (!QProcess::startDetached(QStringLiteral("xdg-open"), {target}))
    log.write(LogLevel::Warning, "a link could not be opened: xdg-open did not start");
}

PhoneMessages::PhoneMessages(Log& log)
    : log_(log),
      daemonWatch_(kService, QDBusConnection::sessionBus(),
                   QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration) {
  connect(&recentMenu_, &QMenu::aboutToShow, this, [this] { fillRecentMenu(); });
  // A new daemon counts its ids afresh: a click on its notification must
  // never open the link of the old one's that had the same id.
  connect(&daemonWatch_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
    targets_.clear();
    log_.write(LogLevel::Warning, "the notification daemon went away");
  });
  connect(&daemonWatch_, &QDBusServiceWatcher::serviceRegistered, this,
          [this] { log_.write(LogLevel::Info, "the notification daemon is back"); });
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
  bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this, SLOT(closed(uint, uint)));
}

void PhoneMessages::show(const char* title, const char* target) {
  const QString link = QString::fromUtf8(target);
  const QTime now = QTime::currentTime();
  recent_.add(QString::fromUtf8(title).toStdWString().c_str(), link.toStdWString().c_str(),
              static_cast<uint8_t>(now.hour()), static_cast<uint8_t>(now.minute()), TickCount64());
  const bool clickable = MayOpen(link);
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
  call << QStringLiteral("Tavrin") << 0u << QStringLiteral("tavrin") << QStringLiteral("Message from Quillo")
       << QString::fromUtf8(title).toHtmlEscaped()
       << (clickable ? QStringList{kDefaultAction, QStringLiteral("Open")} : QStringList()) << QVariantMap() << -1;
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 5000), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, clickable, link](QDBusPendingCallWatcher* done) {
    const QDBusPendingReply<uint> reply = *done;
    done->deleteLater();
    if (reply.isError()) {
      log_.write(LogLevel::Warning, "a phone's message could not be shown: %s", qPrintable(reply.error().message()));
      return;
    }
    if (!clickable) {
      targets_.erase(reply.value());  // the id may be one a gone daemon gave out
      return;
    }
    if (targets_.size() >= kRemembered) targets_.erase(targets_.begin());  // ids grow: the oldest goes
    targets_[reply.value()] = link;
  });
}

void PhoneMessages::actionInvoked(uint id, const QString& action) {
  const auto found = targets_.find(id);
  if (found == targets_.end() || action != kDefaultAction) return;
  const QString target = found->second;
  targets_.erase(found);
  OpenLink(log_, target);
}


void PhoneMessages::fillRecentMenu() {
  recentMenu_.clear();
  if (recent_.size() == 0) recentMenu_.addAction(QStringLiteral("No message yet"))->setEnabled(false);
  for (size_t i = 0; i < recent_.size(); ++i) {
    const RecentMessages::Message& message = recent_.newest(i);
    wchar_t item[RecentMessages::kTitleUnits * 2 + 16];
    FormatRecentItem(item, sizeof item / sizeof item[0], message);
    const QString target = QString::fromWCharArray(message.target);
    // The item's text is the phone's: no access letter may come of it.
    recentMenu_.addAction(QString::fromWCharArray(item).replace(QLatin1Char('&'), QStringLiteral("&&")),
                          [this, target] { OpenLink(log_, target); });
  }
}

void PhoneMessages::closed(uint id, uint) { targets_.erase(id); }

}  // namespace tavrin
