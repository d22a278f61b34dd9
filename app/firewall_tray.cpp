// The tray's side of the firewall: ask at start and when the networks
// change, log the answer, and while phones are blocked say why (a balloon
// once per network and cause, a line in the tip and in the Phones submenu)
// and offer "Allow Phones Through the Firewall...", which runs an elevated
// copy of this program. The verdict is shell/firewall_check.h's.
#include <windows.h>

#include "app/firewall.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/resource.h"

namespace tavrin {

void MainWindow::startFirewallWatch() {
  if (!networkWatch_.start(window_, NetworkChangedMessage) && log_)
    log_->write(LogLevel::Info, "network changes are not announced here: the firewall is checked at start only");
  // Not at once: the start balloon first, and a window that is up.
  SetTimer(window_, kFirewallCheckTimer, kFirewallCheckDelayMs, nullptr);
}

void MainWindow::stopFirewallWatch() {
  KillTimer(window_, kFirewallCheckTimer);
  KillTimer(window_, kFirewallCopyTimer);
  networkWatch_.stop();
}

void MainWindow::onFirewallTimer(UINT_PTR timer) {
  if (timer == kFirewallCheckTimer) {
    KillTimer(window_, kFirewallCheckTimer);
    checkFirewall();
    return;
  }
  if (allowCopy_ && WaitForSingleObject(allowCopy_.get(), 0) == WAIT_TIMEOUT) return;
  KillTimer(window_, kFirewallCopyTimer);
  if (!allowCopy_) return;
  DWORD code = 1;
  GetExitCodeProcess(allowCopy_.get(), &code);
  allowCopy_.reset();
  if (log_) log_->write(LogLevel::Info, "the elevated copy that allows phones through the firewall ended with %lu", code);
  if (code != 0)
    showOwnBalloon(L"Windows Firewall was not changed",
                   L"Tavrin could not change the firewall's rules. Its log says why: "
                   L"%LOCALAPPDATA%\\Tavrin\\tavrin.log",
                   NIIF_WARNING);
  checkFirewall();
}

void MainWindow::checkFirewall() {
  const FirewallCheck::Report report = firewall_.check();
  if (report.changed && log_)
    log_->write(firewall_.verdict().reach == PhoneReach::Blocked ? LogLevel::Warning : LogLevel::Info, "%s",
                firewall_.description().c_str());
  refreshTip(true);
  if (firewall_.lookAgainSoon(GetTickCount64())) SetTimer(window_, kFirewallCheckTimer, kFirewallQuestionMs, nullptr);
  if (!report.tell) return;
  // The balloon waits for the icon (at logon the taskbar may not be there yet).
  if (!trayIcon_->added()) {
    SetTimer(window_, kFirewallCheckTimer, kTrayRetryMs, nullptr);
    return;
  }
  showOwnBalloon(kFirewallBalloonTitle, FirewallBalloonText(firewall_.verdict()), NIIF_WARNING);
  firewall_.told();
}

void MainWindow::fillFirewallItems(HMENU tray) {
  // The user may have changed the firewall, or answered Windows' question,
  // since: what the menu offers must hold now. (Only then: the rules are not
  // read at every opening.)
  const PhoneReach reach = firewall_.verdict().reach;
  if (reach == PhoneReach::Blocked || reach == PhoneReach::Undecided) checkFirewall();
  const FirewallVerdict& verdict = firewall_.verdict();
  if (verdict.reach != PhoneReach::Blocked || !verdict.offerAllow)
    DeleteMenu(tray, IDM_ALLOW_FIREWALL, MF_BYCOMMAND);
  else if (allowCopy_)
    EnableMenuItem(tray, IDM_ALLOW_FIREWALL, MF_BYCOMMAND | MF_GRAYED);
  const wchar_t* cause = FirewallCauseLine(verdict);
  if (cause == nullptr) return;
  if (HMENU phones = SubMenuHolding(tray, IDM_PAUSE_PHONES)) {
    InsertMenuW(phones, 0, MF_BYPOSITION | MF_STRING | MF_GRAYED, IDM_FIREWALL_CAUSE, cause);
    InsertMenuW(phones, 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  }
}

void MainWindow::allowPhonesThroughFirewall() {
  if (allowCopy_) return;
  allowCopy_ = StartElevatedCopy(window_, kAllowFirewallSwitch);
  if (!allowCopy_) {
    const DWORD error = GetLastError();
    if (log_) {
      if (error == ERROR_CANCELLED)
        log_->write(LogLevel::Info, "the firewall was left as it is: the user did not confirm");
      else
        log_->write(LogLevel::Error, "the elevated copy that allows phones through the firewall did not start (error %lu)",
                    error);
    }
    return;
  }
  if (log_) log_->write(LogLevel::Info, "allowing phones through the firewall, in an elevated copy");
  SetTimer(window_, kFirewallCopyTimer, kFirewallCopyPollMs, nullptr);
}

}  // namespace tavrin
