#include "app/main_window.h"

#include <shlobj.h>
#include <windowsx.h>

#include <cwchar>

#include "app/desktop_shell.h"
#include "app/messages.h"
#include "app/resource.h"
#include "app/system_actions.h"
#include "server/remote_server.h"
#include "shell/address_line.h"
#include "shell/port_notice.h"

namespace tavrin {

namespace {

// How long Exit waits for the worker before ending the process anyway.
constexpr uint32_t kWorkerStopWaitMs = 3000;
// How soon after the menu closed a keyboard or context-menu event is taken
// as the echo of the click that opened it.
constexpr uint64_t kMenuEchoMs = 500;
const wchar_t kStartBalloonTitle[] = L"Tavrin is running in background.";

// An earlier version left a settings file in the common application-data
// folder; nothing reads it any more. A folder that cannot be found means no
// file of ours to remove: nothing else is ever deleted.
void DeleteLeftoverConfigFile() {
  wchar_t folder[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
    return;
  wchar_t path[MAX_PATH + 16] = {};
  std::swprintf(path, sizeof path / sizeof path[0], L"%ls/Tavrin.cfg", folder);
  DeleteFileW(path);
}

}  // namespace

bool MainWindow::RegisterClass(HINSTANCE instance, const wchar_t* className) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = &MainWindow::Procedure;
  windowClass.hInstance = instance;
  // Shared: a class icon lives as long as the class.
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TAVRIN));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TAVRIN), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                      LR_DEFAULTCOLOR | LR_SHARED));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = className;
  return RegisterClassExW(&windowClass) != 0;
}

MainWindow::MainWindow(HINSTANCE instance, Log* log) : instance_(instance), log_(log), injector_(log) {}

std::unique_ptr<MainWindow> MainWindow::Create(HINSTANCE instance, const wchar_t* className, const wchar_t* title,
                                               Log* log) {
  std::unique_ptr<MainWindow> owner(new MainWindow(instance, log));
  owner->taskbarCreatedMessage_ = RegisterWindowMessageW(L"TaskbarCreated");
  // Never shown: the tray icon is the program's only visible presence.
  owner->ownWindow_.reset(CreateWindowExW(WS_EX_TOOLWINDOW, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                          CW_USEDEFAULT, 0, nullptr, nullptr, instance, owner.get()));
  return owner->ownWindow_ ? std::move(owner) : nullptr;
}

MainWindow::~MainWindow() = default;

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    self->promptListener_.setWindow(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  const LRESULT result = self->handle(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    (void)self->ownWindow_.release();  // gone, whoever destroyed it
  }
  return result;
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      onCreate();
      return 0;
    case WM_DESTROY:
      onDestroy();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window_, &paint);
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_COMMAND:
      if (onMenuCommand(LOWORD(wParam))) return 0;
      break;
    case WM_TIMER:
      if (wParam == kTrayRetryTimer) {
        if (!stopping_) addTrayIconOrRetry();
        return 0;
      }
      if (wParam == kTipTimer) {
        if (!stopping_) refreshTip(false);
        return 0;
      }
      if (wParam == kSessionWatchTimer) {
        if (!stopping_) trySessionWatch();
        return 0;
      }
      if (wParam == kFirewallCheckTimer || wParam == kFirewallCopyTimer) {
        if (!stopping_) onFirewallTimer(wParam);
        return 0;
      }
      break;
    case PromptChangedMessage:
      promptListener_.taken();
      if (!stopping_) prompt_.sync();
      return 0;
    case ElevatedWindowMessage:
      // The worker has logged it.
      if (!stopping_) showOwnBalloon(kElevationBalloonTitle, kElevationBalloonText, NIIF_WARNING);
      return 0;
    case NetworkChangedMessage:
      if (!stopping_) SetTimer(window_, kFirewallCheckTimer, kFirewallCheckDelayMs, nullptr);
      return 0;
    case WM_DPICHANGED:
      if (!stopping_) trayIcon_->fitToScale();
      return 0;
    case WM_DWMCOMPOSITIONCHANGED:
      desktop_.setComposition(QueryCompositionEnabled());
      return 0;
    case TrayCallbackMessage:
      onTrayCallback(wParam, lParam);
      return 0;
    case PeerBalloonMessage:
      if (!stopping_) showPeerBalloon(reinterpret_cast<const char*>(wParam), reinterpret_cast<const char*>(lParam));
      return 0;
    case ShutdownRequestMessage:
      confirmAndShutDown();
      return 0;
    case ServerPortsMessage:
      if (!stopping_) onServerPorts(wParam);
      return 0;
    case AddressesChangedMessage:
      addressWatch_.taken();
      network_.invalidate();  // discovery announces to the new networks
      if (!stopping_) {
        if (log_) log_->write(LogLevel::Info, "the computer's addresses changed");
        refreshTip(true);
      }
      return 0;
    case WM_WTSSESSION_CHANGE:
      if (!stopping_) onSessionChange(wParam, lParam);
      return 0;
    case WM_POWERBROADCAST:
      return stopping_ ? TRUE : onPowerBroadcast(wParam);
    case WM_QUERYENDSESSION:
      return TRUE;  // nothing here needs the user before the session ends
    case WM_ENDSESSION:
      onEndSession(wParam != FALSE);
      return 0;
    default:
      if (message == taskbarCreatedMessage_ && taskbarCreatedMessage_ != 0) {
        if (stopping_) return 0;
        // Also sent when the display's scale changed.
        trayIcon_->fitToScale();
        addTrayIconOrRetry();
        return 0;
      }
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void MainWindow::onCreate() {
  // Windows drops messages from a process below this one (UIPI), and
  // Explorer is below a copy run as administrator: without this, that copy's
  // icon would not come back after Explorer restarts.
  if (taskbarCreatedMessage_ != 0 &&
      !ChangeWindowMessageFilterEx(window_, taskbarCreatedMessage_, MSGFLT_ALLOW, nullptr) && log_)
    log_->write(LogLevel::Warning, "the taskbar's restart may go unheard when run as administrator (error %lu)",
                GetLastError());
  desktop_.setComposition(QueryCompositionEnabled());
  DeleteLeftoverConfigFile();
  trayIcon_ = std::make_unique<TrayIcon>(window_, instance_, log_);
  userInterface_ = std::make_unique<Win32UserInterface>(window_);
  Platform platform;
  platform.injector = &injector_;
  platform.desktop = &desktop_;
  platform.ui = userInterface_.get();
  platform.network = &network_;
  platform.log = log_;
  platform.roster = &roster_;
  loadPhoneSettings();
  try {
    server_ = std::make_unique<RemoteServer>(L"0.0.0.0", 1978, platform);
  } catch (...) {
    // The tray program runs on without a server, as it does when the sockets fail.
    if (log_) log_->write(LogLevel::Error, "the server could not be made: no phone can connect");
  }
  watchSession();
  if (!addressWatch_.start(window_, AddressesChangedMessage) && log_)
    log_->write(LogLevel::Warning, "address changes cannot be followed: the tip's addresses are read when it changes");
  addTrayIconOrRetry();
  SetTimer(window_, kTipTimer, kTipMs, nullptr);
  startFirewallWatch();
}

void MainWindow::onDestroy() {
  stopping_ = true;
  KillTimer(window_, kTrayRetryTimer);
  KillTimer(window_, kTipTimer);
  KillTimer(window_, kSessionWatchTimer);
  sessionWatch_.reset();
  addressWatch_.stop();
  stopFirewallWatch();
  prompt_.close();
  if (trayIcon_) trayIcon_->remove();
  PostQuitMessage(0);
  // The stop keeps answering sent messages while it waits for the worker,
  // which may be inside a PeerBalloonMessage to this window. A worker that
  // does not end in time is stuck in another program; the server and what
  // it uses are left alone and the process ends without them.
  if (server_ && !server_->stop(kWorkerStopWaitMs)) {
    workerAbandoned_ = true;
    (void)server_.release();
    (void)userInterface_.release();
    return;
  }
  server_.reset();
  userInterface_.reset();
}

void MainWindow::showTip() {
  wchar_t tip[kTipCapacity];
  tip_.compose(tip, kTipCapacity);
  trayIcon_->setTip(tip);
}

void MainWindow::addTrayIconOrRetry() {
  // The address line goes into the tip and into the balloon text; each copy
  // keeps only the whole addresses that fit its field.
  wchar_t tip[kTipCapacity];
  tip_.compose(tip, kTipCapacity);
  wchar_t text[kBalloonTextCapacity];
  CopyText(text, kBalloonTextCapacity, kAddressPrefix);
  ListLocalAddresses(text, kBalloonTextCapacity);
  if (!trayIcon_->add(tip)) {
    SetTimer(window_, kTrayRetryTimer, kTrayRetryMs, nullptr);
    return;
  }
  KillTimer(window_, kTrayRetryTimer);
  // The start balloon once per run, not again when Explorer announces the
  // taskbar anew.
  if (startBalloonShown_) return;
  startBalloonShown_ = true;
  showOwnBalloon(kStartBalloonTitle, text, NIIF_INFO);
  // It says nothing of a port another program holds.
  if (tip_.ports != kAllPortsOpen) showPortNotice();
}

void MainWindow::showOwnBalloon(const wchar_t* title, const wchar_t* text, DWORD flags) {
  // A click on the program's own balloon must not open a phone message's target.
  recent_.ownBalloon(GetTickCount64());
  trayIcon_->balloon(title, text, flags, kBalloonMs);
}

void MainWindow::onServerPorts(WPARAM report) {
  // Ports given up for another session are not held by another program,
  // and taking them back when this one returns is no news.
  if (!tip_.serving) return;
  const uint32_t ports = static_cast<uint32_t>(report & kAllPortsOpen);
  if (ports == tip_.ports) return;
  tip_.ports = ports;
  showPortNotice();
}

void MainWindow::showPortNotice() {
  showTip();
  const PortNotice notice = PortNoticeFor(tip_.ports);
  wchar_t text[kBalloonTextCapacity];
  CopyText(text, kBalloonTextCapacity, notice.text);
  if (notice.addresses) ListLocalAddresses(text, kBalloonTextCapacity);
  showOwnBalloon(notice.title, text, notice.warning ? NIIF_WARNING : NIIF_INFO);
}

void MainWindow::onTrayCallback(WPARAM wParam, LPARAM lParam) {
  UINT iconId, event;
  POINT anchor = {};
  if (trayIcon_->version4()) {
    iconId = HIWORD(lParam);
    event = LOWORD(lParam);
    anchor = {GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)};
  } else {
    iconId = static_cast<UINT>(wParam);
    event = static_cast<UINT>(lParam);
  }
  if (iconId != kTrayIconId) return;
  switch (event) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      GetCursorPos(&anchor);  // the menu opens at the pointer
      showTrayMenu(anchor);
      break;
    case WM_CONTEXTMENU:  // Shift+F10 or the menu key on the icon
    case NIN_KEYSELECT:   // Enter or Space on the icon (Win+B, arrows)
      // A right click that opened the menu is followed by WM_CONTEXTMENU,
      // and some versions send NIN_KEYSELECT twice: neither opens it again.
      if (GetTickCount64() - menuClosedTick_ > kMenuEchoMs) showTrayMenu(anchor);
      break;
    default:
      onBalloonEvent(event);
      break;
  }
}

void MainWindow::confirmAndShutDown() {
  if (confirmationOpen_) {
    BringShutdownQuestionForward();
    return;
  }
  confirmationOpen_ = true;
  const bool confirmed = AskToShutDown();
  confirmationOpen_ = false;
  // The box also ends when its modal loop meets the quit message, for example
  // when the user exits from the tray menu while the question is open. Only
  // a real OK counts: the main window is gone by then and the quit message is
  // posted again.
  MSG quit;
  if (!confirmed || PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) || stopping_ || !IsWindow(window_))
    return;
  if (log_) log_->write(LogLevel::Info, "shutting Windows down, as the user confirmed");
  if (!ShutDownWindows() && log_) log_->write(LogLevel::Error, "Windows refused to shut down (error %lu)", GetLastError());
}

}  // namespace tavrin
