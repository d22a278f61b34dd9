#include "linux/qt_interface.h"

#include <QApplication>
#include <QMessageBox>
#include <string>

#include "linux/desktop_notifications.h"

namespace tavrin {

void QtInterface::showPeerBalloon(const char* title, const char*) {
  QMetaObject::invokeMethod(
      qApp, [this, text = std::string(title)] { ShowPhoneMessage(log_, text.c_str()); }, Qt::QueuedConnection);
}

void QtInterface::requestShutdown() {
  QMetaObject::invokeMethod(qApp, [this] { askShutdown_(); }, Qt::QueuedConnection);
}

void QtInterface::reportPorts(bool listening, bool announcing) {
  log_.write(LogLevel::Info, "phones %s connect; the computer %s announced", listening ? "can" : "cannot",
             announcing ? "is" : "is not");
}

bool ConfirmShutdown() {
  static bool asking = false;  // a second request while the question shows adds nothing
  if (asking) return false;
  asking = true;
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Tavrin"),
                  QStringLiteral("Are you sure to shut down this computer?"), QMessageBox::Ok | QMessageBox::Cancel);
  box.setDefaultButton(QMessageBox::Cancel);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  const bool yes = box.exec() == QMessageBox::Ok;
  asking = false;
  return yes;
}

}  // namespace tavrin
