#include "linux/tray.h"

#include <QAction>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "linux/autostart.h"

namespace tavrin {

namespace {

// The program's mark, drawn: the build carries no image reader for its SVG.
QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x1f, 0x6f, 0xb5));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.2, size * 0.2);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(size * 3 / 4);
    painter.setFont(font);
    painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("T"));
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

Tray::Tray(Log& log, QMenu* phones, std::function<void()> exit) : log_(log) {
  QAction* autorun = menu_.addAction(QStringLiteral("Auto &Run"));
  autorun->setCheckable(true);
  autorun->setChecked(AutostartEnabled());
  QObject::connect(autorun, &QAction::triggered, [this, autorun](bool on) {
    const bool done = on ? EnableAutostart(log_) : DisableAutostart(log_);
    if (!done) autorun->setChecked(!on);
  });
  menu_.addSeparator();
  menu_.addMenu(phones);
  menu_.addSeparator();
  menu_.addAction(QStringLiteral("E&xit"), [exit] { exit(); });

  const QIcon icon = ProgramIcon();
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    icon_.setIcon(icon);
    icon_.setToolTip(QStringLiteral("Tavrin"));
    icon_.setContextMenu(&menu_);
    icon_.show();
    log_.write(LogLevel::Info, "in the tray");
    return;
  }
  // No tray: a small window the user can find, that takes no focus from
  // the window the phone types into.
  window_ = std::make_unique<QWidget>();
  window_->setWindowTitle(QStringLiteral("Tavrin"));
  window_->setWindowIcon(icon);
  window_->setAttribute(Qt::WA_ShowWithoutActivating);
  auto* layout = new QVBoxLayout(window_.get());
  layout->addWidget(new QLabel(QStringLiteral("Tavrin is running: phones can connect.")));
  auto* button = new QPushButton(QStringLiteral("Menu"));
  button->setMenu(&menu_);
  button->setFocusPolicy(Qt::NoFocus);
  layout->addWidget(button);
  window_->show();
  log_.write(LogLevel::Info, "no tray in this session: a small window stands in for it");
}

Tray::~Tray() = default;

}  // namespace tavrin
