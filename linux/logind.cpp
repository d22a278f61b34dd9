#include "linux/logind.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDBusObjectPath>

namespace tavrin {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kCallTimeoutMs = 5000;  // the main thread never waits longer on logind

}  // namespace

SessionLockWatch::SessionLockWatch(Log& log, std::function<void(bool)> changed)
    : log_(log), changed_(std::move(changed)) {}

bool SessionLockWatch::start() {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) {
    log_.write(LogLevel::Warning, "no system bus: a locked session is not noticed");
    return false;
  }
  const QByteArray id = qgetenv("XDG_SESSION_ID");
  QDBusMessage call = id.isEmpty()
                          ? QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetSessionByPID"))
                          : QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetSession"));
  if (id.isEmpty())
    call << static_cast<uint>(getpid());
  else
    call << QString::fromUtf8(id);
  const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    log_.write(LogLevel::Warning, "logind does not know this session (%s): a locked session is not noticed",
               qPrintable(reply.errorName()));
    return false;
  }
  path_ = qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path();
  bus.connect(kService, path_, kProperties, QStringLiteral("PropertiesChanged"), this,
              SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
  readLocked();
  return true;
}

void SessionLockWatch::readLocked() {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, path_, kProperties, QStringLiteral("Get"));
  call << kSession << QStringLiteral("LockedHint");
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call, kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
    const QDBusPendingReply<QDBusVariant> reply = *done;
    if (!reply.isError()) apply(reply.value().variant().toBool());
    done->deleteLater();
  });
}

void SessionLockWatch::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                         const QStringList& invalidated) {
  if (interface != kSession) return;
  if (changed.contains(QStringLiteral("LockedHint")))
    apply(changed.value(QStringLiteral("LockedHint")).toBool());
  else if (invalidated.contains(QStringLiteral("LockedHint")))
    readLocked();
}

void SessionLockWatch::apply(bool locked) {
  if (known_ == static_cast<int>(locked)) return;
  known_ = locked;
  log_.write(LogLevel::Info, locked ? "the session is locked: phones' input has no effect, what they hold is released"
                                    : "the session is unlocked");
  changed_(locked);
}

void PowerOff(Log& log) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("PowerOff"));
  call << true;  // interactive: logind may ask for a password where policy wants one
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call, kCallTimeoutMs));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [&log](QDBusPendingCallWatcher* done) {
    if (done->isError())
      log.write(LogLevel::Error, "logind refused to power off: %s", qPrintable(done->error().message()));
    else
      log.write(LogLevel::Info, "powering off");
    done->deleteLater();
  });
}

}  // namespace tavrin
