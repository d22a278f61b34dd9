#include "linux/tray.h"

#include <QAction>
#include <QDBusConnection>
#include <cwchar>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <QMessageBox>
#include <QDBusMessage>
#include <QDBusVariant>
#include <string>

#include "linux/autostart.h"
#include "linux/desktop_notifications.h"
#include "server/greeting.h"
#include "server/version_text.h"
#include "shell/links.h"
#include "shell/address_line.h"
#include "shell/phone_menu_text.h"

// After Qt's headers: Xlib's macros (Bool, Status, None) break them.
#include <X11/Xlib.h>

namespace tavrin {

namespace {

const QString kTrayHost = QStringLiteral("org.kde.StatusNotifierWatcher");

constexpr int kHostReadyPollMs = 1000;

// Whether the watcher has a host (a panel) that shows icons: Qt's own test,
// asked with a short timeout so that a watcher that hangs cannot hold up the
// menu for long.
bool TrayHostReady() {
  QDBusMessage ask = QDBusMessage::createMethodCall(kTrayHost, QStringLiteral("/StatusNotifierWatcher"),
                                                    QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Get"));
  ask << kTrayHost << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusMessage answer = QDBusConnection::sessionBus().call(ask, QDBus::Block, 500);
  return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
         answer.arguments().first().value<QDBusVariant>().variant().toBool();
}

// A tray of the older kind (XEmbed): an owner of the screen's tray selection.
bool XEmbedTrayPresent() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(display));
  const bool present = XGetSelectionOwner(display, XInternAtom(display, name.c_str(), False)) != 0;
  XCloseDisplay(display);
  return present;
}
constexpr int kHostGoneMs = 3000;

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

// The program's own links, opened as a phone message's link is.
void AddLink(QMenu& menu, Log& log, const char* caption, const char* url) {
  menu.addAction(QString::fromUtf8(caption), [&log, url] { OpenLink(log, QString::fromUtf8(url)); });
}

void ShowAbout() {
  char version[64] = {};
  CopyVersionText(version, TAVRIN_FILE_VERSION, sizeof TAVRIN_FILE_VERSION - 1);
  QMessageBox about(QMessageBox::NoIcon, QStringLiteral("About Tavrin"),
                    QStringLiteral("Tavrin\uFF0CV%1\n%2\n%3")
                        .arg(QString::fromUtf8(version).remove(QLatin1Char(' ')), QStringLiteral(TAVRIN_NOTICE_LINE),
                             QStringLiteral(TAVRIN_CONTACT_ADDRESS)),
                    QMessageBox::Ok);
  about.setIconPixmap(ProgramIcon().pixmap(32, 32));
  about.exec();
}

}  // namespace

QString Tray::addressLine() {
  AddressRow rows[kAddressRowCapacity];
  uint32_t count = 0;
  wchar_t text[kTipCapacity] = {};
  std::wcscpy(text, kAddressPrefix);
  if (network_.readAddressTable(rows, kAddressRowCapacity, count)) {
    OrderByReach(rows, count);
    AppendAddressList(text, kTipCapacity, rows, count);
  }
  return QString::fromWCharArray(text);
}

void Tray::refreshTip() {
  wchar_t heading[kTipCapacity];
  FormatTipHeading(heading, kTipCapacity, roster_.count(), roster_.paused());
  const QString tip = QString::fromWCharArray(heading) + addressLine();
  if (icon_) icon_->setToolTip(tip);
  if (status_) status_->setText(tip);  // the window says all the tip would
}

Tray::Tray(Log& log, NetworkInfo& network, PhoneRoster& roster, QMenu* phones, QMenu* recent,
           std::function<void()> exit)
    : log_(log), network_(network), roster_(roster) {
  QAction* autorun = menu_.addAction(QStringLiteral("Auto &Run"));
  autorun->setCheckable(true);
  autorun->setChecked(AutostartEnabled());
  QObject::connect(autorun, &QAction::triggered, [this, autorun](bool on) {
    const bool done = on ? EnableAutostart(log_) : DisableAutostart(log_);
    if (!done) autorun->setChecked(!on);
  });
  AddLink(menu_, log_, "&Download Latest Version", TAVRIN_URL_DOWNLOAD_LATEST);
  menu_.addSeparator();
  addresses_ = menu_.addAction(QStringLiteral("&IP Address"));
  addresses_->setEnabled(false);
  QObject::connect(&menu_, &QMenu::aboutToShow, [this] { addresses_->setText(addressLine()); });
  menu_.addMenu(phones);
  menu_.addMenu(recent);
  menu_.addSeparator();
  QMenu* quillo = menu_.addMenu(QStringLiteral("Quillo"));
  QMenu* iphone = quillo->addMenu(QStringLiteral("iPhone"));
  AddLink(*iphone, log_, TAVRIN_STORE_IPHONE_1_CAPTION, TAVRIN_STORE_IPHONE_1_URL);
  AddLink(*iphone, log_, TAVRIN_STORE_IPHONE_2_CAPTION, TAVRIN_STORE_IPHONE_2_URL);
  QMenu* ipad = quillo->addMenu(QStringLiteral("iPad"));
  AddLink(*ipad, log_, TAVRIN_STORE_IPAD_1_CAPTION, TAVRIN_STORE_IPAD_1_URL);
  AddLink(*ipad, log_, TAVRIN_STORE_IPAD_2_CAPTION, TAVRIN_STORE_IPAD_2_URL);
  QMenu* android = quillo->addMenu(QStringLiteral("Android"));
  AddLink(*android, log_, TAVRIN_STORE_ANDROID_1_CAPTION, TAVRIN_STORE_ANDROID_1_URL);
  AddLink(*android, log_, TAVRIN_STORE_ANDROID_2_CAPTION, TAVRIN_STORE_ANDROID_2_URL);
  AddLink(*android, log_, TAVRIN_STORE_ANDROID_3_CAPTION, TAVRIN_STORE_ANDROID_3_URL);
  AddLink(*android, log_, TAVRIN_STORE_ANDROID_4_CAPTION, TAVRIN_STORE_ANDROID_4_URL);
  menu_.addSeparator();
  AddLink(menu_, log_, "Visit Our &Website", TAVRIN_URL_WEBSITE);
  AddLink(menu_, log_, "Follow Us On Facebook", TAVRIN_URL_FACEBOOK);
  AddLink(menu_, log_, "Mail To Us", TAVRIN_MAILTO_CONTACT);
  menu_.addAction(QStringLiteral("&About"), [] { ShowAbout(); });
  menu_.addSeparator();
  menu_.addAction(QStringLiteral("E&xit"), [exit] { exit(); });

  programIcon_ = ProgramIcon();
  watchTrayHost();
  // Qt decides once, when the first icon is made, whether the session has a
  // tray host: made before the panel is up (a start at logon), the icon would
  // never reach it. So it is made once a host is there; until then the small
  // window stands in.
  QObject::connect(&hostReadyTimer_, &QTimer::timeout, [this] {
    if (!TrayHostReady()) return;
    hostReadyTimer_.stop();
    showIcon();
  });
  if (TrayHostReady() || XEmbedTrayPresent()) {
    showIcon();
  } else {
    showWindow("no tray in this session yet");
    hostReadyTimer_.start(kHostReadyPollMs);
  }
  // Phones come and go and addresses change: the tip is read again now and then.
  refreshTip();
  QObject::connect(&tipTimer_, &QTimer::timeout, [this] { refreshTip(); });
  tipTimer_.start(2000);
}

void Tray::watchTrayHost() {
  hostGoneTimer_.setSingleShot(true);
  QObject::connect(&hostGoneTimer_, &QTimer::timeout, [this] { showWindow("the tray went away"); });
  hostWatch_ = std::make_unique<QDBusServiceWatcher>(
      kTrayHost, QDBusConnection::sessionBus(),
      QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
  QObject::connect(hostWatch_.get(), &QDBusServiceWatcher::serviceUnregistered, [this] {
    log_.write(LogLevel::Warning, "the tray host went away");
    hostGoneTimer_.start(kHostGoneMs);
  });
  QObject::connect(hostWatch_.get(), &QDBusServiceWatcher::serviceRegistered, [this] {
    hostGoneTimer_.stop();
    if (!icon_) {
      hostReadyTimer_.start(kHostReadyPollMs);  // its panel follows it
    } else {
      if (window_) window_->hide();
      log_.write(LogLevel::Info, "the tray host is back: the icon is registered with it again");
    }
  });
}

void Tray::showIcon() {
  auto icon = std::make_unique<QSystemTrayIcon>();
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    showWindow("the tray cannot show the icon");
    return;
  }
  icon->setIcon(programIcon_);
  icon->setToolTip(QStringLiteral("Tavrin"));
  icon->setContextMenu(&menu_);
  icon->show();
  icon_ = std::move(icon);
  refreshTip();
  if (window_) window_->hide();
  log_.write(LogLevel::Info, "in the tray");
}

void Tray::showWindow(const char* why) {
  if (!window_) buildWindow();
  window_->show();
  log_.write(LogLevel::Info, "%s: a small window stands in for the tray", why);
}

void Tray::buildWindow() {
  // No tray: a small window the user can find, that takes no focus from
  // the window the phone types into.
  window_ = std::make_unique<QWidget>();
  window_->setWindowTitle(QStringLiteral("Tavrin"));
  window_->setWindowIcon(programIcon_);
  window_->setAttribute(Qt::WA_ShowWithoutActivating);
  auto* layout = new QVBoxLayout(window_.get());
  status_ = new QLabel;
  layout->addWidget(status_);
  auto* button = new QPushButton(QStringLiteral("Menu"));
  button->setMenu(&menu_);
  button->setFocusPolicy(Qt::NoFocus);
  layout->addWidget(button);
  refreshTip();
}

Tray::~Tray() = default;

}  // namespace tavrin
