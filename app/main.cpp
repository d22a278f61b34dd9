// Entry point of Tavrin.exe: the "--install" option, one running copy at a
// time, the log, the hidden main window and its message loop.
#include <windows.h>

#include <cwchar>

#include "app/autorun.h"
#include "app/main_window.h"
#include "app/resource.h"
#include "base/log_win32.h"
#include "base/win32_handles.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  using namespace tavrin;
  // Exactly "--install": anything around it is not the option.
  if (commandLine != nullptr && std::wcscmp(commandLine, L"--install") == 0) EnableAutorun();
  wchar_t title[kShellTextCapacity] = {};
  wchar_t className[kShellTextCapacity] = {};
  LoadStringW(instance, IDS_APP_TITLE, title, static_cast<int>(kShellTextCapacity));
  LoadStringW(instance, IDC_TAVRIN, className, static_cast<int>(kShellTextCapacity));
  MainWindow::RegisterClass(instance, className);

  // One instance at a time; a second start ends silently.
  const unique_handle mutex(CreateMutexW(nullptr, FALSE, title));
  if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return 0;

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
