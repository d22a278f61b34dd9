// Entry point of tavrin, the X11 edge: the "--install" option, one running
// copy per display, the log, the X display and its injector, the server,
// the tray and the session, and an orderly end on Exit, SIGTERM, SIGINT or
// SIGHUP (the keyboard map is restored, held keys and buttons let go), and
// when the X server goes away (exit code 1, the server stopped, nothing of
// the gone display released).
// Qt's headers first: Xlib's macros (Bool, Status, None) break them.
#include <QApplication>
#include <QSocketNotifier>

#include "linux/desktop_notifications.h"
#include "linux/logind.h"
#include "linux/phone_control.h"
#include "linux/qt_interface.h"
#include "linux/tray.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "base/unique_any.h"
#include "linux/autostart.h"
#include "linux/local_network.h"
#include "linux/neighbour_table.h"
#include "linux/posix_handles.h"
#include "linux/x11_desktop.h"
#include "linux/x11_injector.h"
#include "linux/xdg_places.h"
#include "server/remote_server.h"
#include "shell/phone_roster.h"

namespace tavrin {
namespace {

constexpr uint16_t kPort = 1978;
using unique_display = unique_any<Display*, XCloseDisplay>;

// A window can go between two requests about it (the phone closed it, its
// program ended): the error that follows is expected, and Xlib's default
// handler would end the program for it.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

// The X server going away is noticed by whoever reads from it first: Xlib on
// the worker's display, or Qt's connection on the main thread, which ends
// the process with exit(1) where it stands. exit() unwinds nothing, so the
// server is stopped from an exit handler; Xlib and that handler are C
// callbacks, hence this one process-wide record.
struct XServerLoss {
  Log* log = nullptr;
  const char* display = "";
  std::atomic<RemoteServer*> server{nullptr};  // set while the worker runs
  std::atomic<bool> lost{false};
};

XServerLoss& Loss() {
  static XServerLoss loss;
  return loss;
}

void SayXServerLost() {
  XServerLoss& loss = Loss();
  if (loss.lost.exchange(true)) return;
  std::fprintf(stderr, "tavrin: the X server of display %s went away; ending.\n", loss.display);
  if (loss.log) loss.log->write(LogLevel::Error, "the X server of display %s went away; ending", loss.display);
}

// Whoever's display it is, the exit handler below decides.
int NoteXIOError(Display*) { return 0; }

// The worker's display: its requests fail from now on, and the main thread
// ends in order (it may have ended first).
void WorkerDisplayLost(Display*, void*) {
  SayXServerLost();
  if (qApp) QMetaObject::invokeMethod(qApp, [] { QApplication::exit(1); }, Qt::QueuedConnection);
}

// Qt ended the process for its lost connection: the worker is stopped before
// the process goes; the keyboard map and held keys went with the server.
void StopServerAtExit() {
  RemoteServer* server = Loss().server.exchange(nullptr);
  if (!server) return;  // ended in order, or before serving
  SayXServerLost();
  server->stop(RemoteServer::kWaitForever);
  Loss().log->write(LogLevel::Info, "Tavrin ended");
}

// Under Wayland the X server is Xwayland, which sees only the X programs'
// windows and takes input for them alone. Any one sign is enough; the
// session says so once.
const char* WaylandSign(Display* display) {
  if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland && wayland[0]) return "WAYLAND_DISPLAY is set";
  if (const char* type = std::getenv("XDG_SESSION_TYPE"); type && std::strcmp(type, "wayland") == 0)
    return "XDG_SESSION_TYPE is wayland";
  int opcode = 0, event = 0, error = 0;
  if (XQueryExtension(display, "XWAYLAND", &opcode, &event, &error)) return "the X server is Xwayland";
  return nullptr;
}

int Run(int argc, char** argv, bool install) {
  // Blocked before any thread starts (Qt's and the worker), so that only the
  // signal descriptor below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  XInitThreads();
  const std::filesystem::perms privateFolder = std::filesystem::perms::owner_all;
  const std::filesystem::path logFolder = StateHome() / "tavrin";
  MakeFolder(logFolder, privateFolder);
  FileLogOutput logFile(logFolder / "tavrin.log");
  Log log({&logFile});
  log.writeKept(LogLevel::Info, "Tavrin started (X11)");
  if (install && !EnableAutostart(log)) std::fprintf(stderr, "tavrin: could not turn Auto Run on (see the log)\n");

  const char* displayName = std::getenv("DISPLAY");
  unique_display display(XOpenDisplay(nullptr));
  if (!display) {
    std::fprintf(stderr,
                 "tavrin: cannot open the X display \"%s\". Tavrin controls an X11 session: start it from one, "
                 "or set DISPLAY.\n",
                 displayName ? displayName : "");
    log.write(LogLevel::Error, "no X display (DISPLAY=\"%s\"); ended", displayName ? displayName : "");
    return 1;
  }
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display.get(), &event, &error, &major, &minor)) {
    std::fprintf(stderr, "tavrin: the X server has no XTest extension, without which no input can be made.\n");
    log.write(LogLevel::Error, "the X server has no XTest extension; ended");
    return 1;
  }
  // One copy per display: a second start ends quietly, as on Windows.
  const std::filesystem::path runtime = RuntimeDir() / "tavrin";
  MakeFolder(runtime, privateFolder);
  const std::string tag = DisplayTag(DisplayString(display.get()));
  const unique_fd lock(::open((runtime / ("instance-" + tag + ".lock")).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock || flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    log.write(LogLevel::Info, "another copy runs on display %s; this one ends", DisplayString(display.get()));
    return 0;
  }
  if (const char* sign = WaylandSign(display.get())) {
    std::fprintf(stderr, "tavrin: this is a Wayland session (%s): only X programs (those under Xwayland) can be "
                         "controlled.\n", sign);
    log.write(LogLevel::Warning, "Wayland session (%s): only X programs can be controlled", sign);
  }

  XServerLoss& loss = Loss();
  loss.log = &log;
  loss.display = DisplayString(display.get());
  XSetIOErrorExitHandler(display.get(), WorkerDisplayLost, nullptr);
  X11Injector injector(display.get(), (runtime / ("keymap-" + tag)).string());
  if (!injector.open()) {
    std::fprintf(stderr, "tavrin: cannot read the keyboard map of the X display.\n");
    log.write(LogLevel::Error, "the keyboard map cannot be read; ended");
    return 1;
  }

  QApplication application(argc, argv);
  // Qt sets Xlib's handlers for the whole process; these come after.
  XSetErrorHandler(IgnoreXError);
  XSetIOErrorHandler(NoteXIOError);
  std::atexit(StopServerAtExit);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName(QStringLiteral("Tavrin"));
  const unique_fd signalReader(signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK));
  QSocketNotifier signalNotifier(signalReader.get(), QSocketNotifier::Read);
  QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
    signalfd_siginfo info{};
    if (read(signalReader.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info))
      log.write(LogLevel::Info, "stopping (signal %u)", info.ssi_signo);
    QApplication::quit();
  });

  LocalNetwork network;
  ProcNeighbourTable neighbours;
  PhoneControl phones(log);
  PhoneRoster roster(&phones, &neighbours);
  phones.attach(roster);
  PhoneMessages messages(log);
  QtInterface ui(log, messages, [&log] {
    if (ConfirmShutdown()) PowerOff(log);
  });
  X11Desktop desktop(display.get(), log);
  SessionLockWatch session(log, [&](bool locked) {
    injector.setLocked(locked);
    if (locked) roster.requestReleaseHeld();
  });
  session.start();
  Tray tray(log, network, roster, phones.menu(), messages.recentMenu(), [&log] {
    log.write(LogLevel::Info, "Exit chosen");
    QApplication::quit();
  });

  Platform platform;
  platform.injector = &injector;
  platform.desktop = &desktop;
  platform.ui = &ui;
  platform.network = &network;
  platform.log = &log;
  platform.roster = &roster;
  {
    RemoteServer server(L"0.0.0.0", kPort, platform);
    loss.server = &server;
    QApplication::exec();
    if (loss.server.exchange(nullptr)) server.stop(RemoteServer::kWaitForever);
  }
  if (loss.lost) {
    log.write(LogLevel::Info, "Tavrin ended");
    return 1;
  }
  injector.releaseAll();
  injector.restoreKeymap();
  log.write(LogLevel::Info, "Tavrin ended");
  return 0;
}

}  // namespace
}  // namespace tavrin

int main(int argc, char** argv) {
  // Exactly "--install": anything else around it is not the option.
  const bool install = argc == 2 && std::strcmp(argv[1], "--install") == 0;
  return tavrin::Run(argc, argv, install);
}
