// The life of the Windows session around the program: lock and unlock,
// sleep and wake, another user taking the screen, log-off and shutdown.
//
// Windows refuses injected input while the session is locked and sends
// nothing of the sort to a program on a desktop that is not on the screen,
// so keys a phone holds down would stay down for whatever comes next: every
// one of these releases them first. A session that leaves the screen also
// gives up ports 1978 and 2008, so that the copy of the program in the
// session now in front can serve the phones; they are taken again when it
// comes back.
#include <windows.h>
#include <wtsapi32.h>

#include "app/main_window.h"
#include "app/messages.h"
#include "server/remote_server.h"

namespace tavrin {

void MainWindow::watchSession() {
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &sessionId_)) sessionId_ = static_cast<DWORD>(-1);
  trySessionWatch();
}

// Started at logon, the program may come before the Remote Desktop service
// is ready to take the request (RPC_S_INVALID_BINDING): it is tried again
// for a while, with a line in the log when it first fails and when it works
// or is given up.
void MainWindow::trySessionWatch() {
  if (WTSRegisterSessionNotification(window_, NOTIFY_FOR_THIS_SESSION)) {
    sessionWatch_.reset(window_);
    KillTimer(window_, kSessionWatchTimer);
    if (sessionWatchTries_ > 0 && log_) log_->write(LogLevel::Info, "session changes are followed now");
    return;
  }
  const DWORD error = GetLastError();
  ++sessionWatchTries_;
  if (sessionWatchTries_ == 1) {
    if (log_)
      log_->write(LogLevel::Warning, "session changes cannot be followed yet (error %lu): trying again every 5 s",
                  error);
    SetTimer(window_, kSessionWatchTimer, kSessionWatchRetryMs, nullptr);
  } else if (sessionWatchTries_ >= kSessionWatchTries) {
    KillTimer(window_, kSessionWatchTimer);
    if (log_) log_->write(LogLevel::Warning, "session changes cannot be followed (error %lu): given up", error);
  }
}

void MainWindow::UnwatchSession(HWND window) noexcept { WTSUnRegisterSessionNotification(window); }

void MainWindow::onSessionChange(WPARAM change, LPARAM session) {
  if (static_cast<DWORD>(session) != sessionId_) return;
  switch (change) {
    case WTS_SESSION_LOCK:
      if (log_) log_->write(LogLevel::Info, "the session is locked: what phones hold is released");
      roster_.requestReleaseHeld();
      break;
    case WTS_SESSION_UNLOCK:
      if (log_) log_->write(LogLevel::Info, "the session is unlocked");
      break;
    case WTS_CONSOLE_DISCONNECT:
    case WTS_REMOTE_DISCONNECT:
      setServing(false);
      break;
    case WTS_CONSOLE_CONNECT:
    case WTS_REMOTE_CONNECT:
      setServing(true);
      break;
    default:
      break;
  }
}

void MainWindow::setServing(bool serving) {
  if (serving == tip_.serving) return;
  tip_.serving = serving;
  if (server_) server_->setServing(serving);
  showTip();
}

LRESULT MainWindow::onPowerBroadcast(WPARAM event) {
  switch (event) {
    case PBT_APMSUSPEND:
      if (log_) log_->write(LogLevel::Info, "the computer goes to sleep: what phones hold is released");
      roster_.requestReleaseHeld();
      break;
    case PBT_APMRESUMESUSPEND:
    case PBT_APMRESUMEAUTOMATIC:
      if (log_) log_->write(LogLevel::Info, "the computer woke up");
      network_.invalidate();
      if (server_) server_->checkSockets();
      break;
    default:
      break;
  }
  return TRUE;
}

void MainWindow::onEndSession(bool ending) {
  if (!ending || stopping_) return;
  // Windows may end the process as soon as this returns: everything is
  // released, stopped and removed now, not on the way out of the loop.
  if (log_) log_->write(LogLevel::Info, "Windows ends the session: stopping");
  ownWindow_.reset();
}

}  // namespace tavrin
