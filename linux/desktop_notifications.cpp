#include "linux/desktop_notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

namespace tavrin {

void ShowPhoneMessage(Log& log, const char* title) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  call << QStringLiteral("Tavrin") << 0u << QStringLiteral("tavrin") << QStringLiteral("Message from Quillo")
       << QString::fromUtf8(title).toHtmlEscaped() << QStringList() << QVariantMap() << -1;
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 5000));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [&log](QDBusPendingCallWatcher* done) {
    if (done->isError())
      log.write(LogLevel::Warning, "a phone's message could not be shown: %s", qPrintable(done->error().message()));
    done->deleteLater();
  });
}

}  // namespace tavrin
