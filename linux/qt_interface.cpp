#include "linux/qt_interface.h"

#include <QApplication>
#include <QMessageBox>
#include <string>


namespace tavrin {

void QtInterface::showPeerBalloon(const char* title, const char* target) {
  QMetaObject::invokeMethod(
      qApp, [this, text = std::string(title), link = std::string(target)] { messages_.show(text.c_str(), link.c_str()); },
      Qt::QueuedConnection);
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
  // In front and with the focus, as on Windows: a window manager that holds
  // new windows back from the focus would leave it behind the window the
  // phone controls. Keys a phone is typing then reach the question, whose
  // focus and default are Cancel.
  box.show();
  box.raise();
  box.activateWindow();
  const bool yes = box.exec() == QMessageBox::Ok;
  asking = false;
  return yes;
}

}  // namespace tavrin
