// Entry point of Tavrin.exe: the "--install" option, the firewall's switches
// (app/firewall.h), one running copy at a time, the log, the hidden main
// window and its message loop.
#include <windows.h>

#include <cwchar>

#include "app/autorun.h"
#include "app/firewall.h"
#include "app/main_window.h"
#include "app/resource.h"
#include "base/log_win32.h"
#include "base/win32_handles.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  using namespace tavrin;
  // Exactly "--install": anything around it is not the option.
  if (commandLine != nullptr && std::wcscmp(commandLine, L"--install") == 0) EnableAutorun();
  // The firewall's switches do their one job and end, beside a running copy.
  if (const std::optional<int> code = RunFirewallSwitch(commandLine)) return *code;
  wchar_t title[kShellTextCapacity] = {};
  wchar_t className[kShellTextCapacity] = {};
  LoadStringW(instance, IDS_APP_TITLE, title, static_cast<int>(kShellTextCapacity));
  LoadStringW(instance, IDC_TAVRIN, className, static_cast<int>(kShellTextCapacity));
  MainWindow::RegisterClass(instance, className);

  // One instance at a time; a second start ends silently.
  const unique_handle mutex(CreateMutexW(nullptr, FALSE, title));
  if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return 0;

  // The firewall's and the network list's objects live in the main thread's
  // apartment, and the network list's notices arrive through its message loop.
  const ComApartment apartment(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  ProgramLog programLog;
  Log& log = programLog.log();
  log.writeKept(LogLevel::Info, "Tavrin started");
  std::unique_ptr<MainWindow> window = MainWindow::Create(instance, className, title, &log);
  if (!window) {
    log.write(LogLevel::Error, "the main window could not be made (error %lu)", GetLastError());
    return 0;
  }

  MSG message = {};
  BOOL result;
  while ((result = GetMessageW(&message, nullptr, 0, 0)) != 0) {
    if (result == -1) break;
    if (window->preTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (window->workerAbandoned()) {
    log.write(LogLevel::Warning, "Tavrin ended without waiting for its server's thread");
    // Ends every thread at once, the stuck worker included, without running
    // the destructors of objects it may still use.
    ExitProcess(static_cast<UINT>(message.wParam));
  }
  window.reset();
  log.write(LogLevel::Info, "Tavrin ended");
  return static_cast<int>(message.wParam);
}
