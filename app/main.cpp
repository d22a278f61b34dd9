// Entry point and hidden main window of Tavrin.exe.
#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <new>

#include "app/resource.h"
#include "app/shell.h"
#include "app/win32_platform.h"
#include "server/remote_server.h"

namespace tavrin {

HINSTANCE instanceHandle = nullptr;
HWND mainWindowHandle = nullptr;
wchar_t windowTitle[kShellTextCapacity] = {};
wchar_t windowClassName[kShellTextCapacity] = {};
wchar_t configFilePath[MAX_PATH + 16] = {};
RemoteServer* serverInstance = nullptr;
bool autorunEnabled = false;

namespace {

Win32Injector injector;
Win32Desktop desktop;
Win32NetworkInfo network;
Win32UserInterface* userInterface = nullptr;

// Sent by a restarted taskbar: the tray icon has to be added again.
UINT taskbarCreatedMessage = 0;
// Set while WM_DESTROY stops the server: messages that arrive meanwhile must
// not bring the tray icon back.
bool stopping = false;
// Set when the worker did not end in time at Exit (it is inside a call into
// another program that does not return): the process ends without waiting.
bool workerAbandoned = false;
// How long Exit waits for the worker before ending the process anyway.
constexpr uint32_t kWorkerStopWaitMs = 3000;

void AddTrayIconOrRetry(HWND window) {
  if (!AddTrayIcon(window)) {
    SetTimer(window, kTrayRetryTimer, kTrayRetryMs, nullptr);
    return;
  }
  KillTimer(window, kTrayRetryTimer);
  // A newly added icon shows the start-up tip and balloon, which say nothing
  // of a port another program holds.
  ReapplyServerPorts(window);
}

void OnCreate(HWND window) {
  DeleteConfigFile();
  userInterface = new (std::nothrow) Win32UserInterface(window);
  if (userInterface != nullptr) {
    Platform platform;
    platform.injector = &injector;
    platform.desktop = &desktop;
    platform.ui = userInterface;
    platform.network = &network;
    try {
      serverInstance = new RemoteServer(L"0.0.0.0", 1978, platform);
    } catch (...) {
      // The shell runs on without a server, as it does when the sockets fail.
      serverInstance = nullptr;
    }
  }
  autorunEnabled = QueryAutorun();
  AddTrayIconOrRetry(window);
}

void OnDestroy(HWND window) {
  stopping = true;
  KillTimer(window, kTrayRetryTimer);
  RemoveTrayIcon(window);
  PostQuitMessage(0);
  // The stop keeps answering sent messages while it waits for the worker,
  // which may be inside a PeerBalloonMessage to this window. A worker that
  // does not end in time is stuck in another program; the server it uses is
  // left alone and the process ends without it.
  if (serverInstance != nullptr && !serverInstance->stop(kWorkerStopWaitMs)) {
    workerAbandoned = true;
    return;
  }
  delete serverInstance;
  serverInstance = nullptr;
  delete userInterface;
  userInterface = nullptr;
}

}  // namespace

ATOM RegisterWindowClasses(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TAVRIN));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TAVRIN), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = windowClassName;
  return RegisterClassExW(&windowClass);
}

bool CreateMainWindow(HINSTANCE instance) {
  instanceHandle = instance;
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, windowClassName, windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return false;
  // Never shown: the tray icon is the program's only visible presence.
  mainWindowHandle = window;
  return true;
}

void DetermineConfigFilePath() {
  configFilePath[0] = L'\0';
  wchar_t folder[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder) !=
      S_OK)
    return;  // no folder, no leftover file to remove
  std::swprintf(configFilePath, sizeof configFilePath / sizeof configFilePath[0], L"%ls/Tavrin.cfg", folder);
}

void DeleteConfigFile() {
  if (configFilePath[0] != L'\0') DeleteFileW(configFilePath);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnCreate(window);
      return 0;
    case WM_DESTROY:
      OnDestroy(window);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_COMMAND:
      if (OnMenuCommand(window, LOWORD(wParam))) return 0;
      break;
    case WM_TIMER:
      if (wParam == kTrayRetryTimer) {
        if (!stopping) AddTrayIconOrRetry(window);
        return 0;
      }
      break;
    case WM_DWMCOMPOSITIONCHANGED:
      RefreshCompositionFlag();
      return 0;
    case TrayCallbackMessage:
      OnTrayCallback(window, wParam, lParam);
      return 0;
    case PeerBalloonMessage:
      if (!stopping) ShowPeerBalloon(window, reinterpret_cast<const char*>(wParam), reinterpret_cast<const char*>(lParam));
      return 0;
    case ShutdownRequestMessage:
      ConfirmAndShutDown();
      return 0;
    case ServerPortsMessage:
      if (!stopping) OnServerPorts(window, wParam);
      return 0;
    default:
      if (message == taskbarCreatedMessage && taskbarCreatedMessage != 0) {
        if (!stopping) AddTrayIconOrRetry(window);
        return 0;
      }
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tavrin

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  using namespace tavrin;
  RefreshCompositionFlag();
  // Exactly "--install": anything around it is not the option.
  if (commandLine != nullptr && std::wcscmp(commandLine, L"--install") == 0) EnableAutorun();
  DetermineConfigFilePath();
  LoadStringW(instance, IDS_APP_TITLE, windowTitle, static_cast<int>(kShellTextCapacity));
  LoadStringW(instance, IDC_TAVRIN, windowClassName, static_cast<int>(kShellTextCapacity));
  taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
  RegisterWindowClasses(instance);

  // One instance at a time; a second start ends silently.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, windowTitle);
  if (mutex == nullptr) return 0;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return 0;
  }
  if (!CreateMainWindow(instance)) {
    CloseHandle(mutex);
    return 0;
  }

  MSG message = {};
  BOOL result;
  while ((result = GetMessageW(&message, nullptr, 0, 0)) != 0) {
    if (result == -1) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  CloseHandle(mutex);
  // Ends every thread at once, the stuck worker included, without running
  // the destructors of objects it may still use.
  if (workerAbandoned) ExitProcess(static_cast<UINT>(message.wParam));
  return static_cast<int>(message.wParam);
}
