/* testwin.exe LOGFILE [--ansi] [--no-frame] [--no-boxes] [--dialog] [--hidden] [--edit] [--hang MS]
 *             [--rect X Y W H | --below-work-area DX DY]
 *
 * A top-level window that stands in for "the foreground application": it
 * brings itself to the front and logs to LOGFILE, one line each, written
 * through at once, what it is sent or posted:
 *
 *   unicode 1              what IsWindowUnicode says of it
 *   workarea 0 0 1024 738  the primary monitor's work area: left top right bottom
 *   ready                  once it is the foreground window (after its rect)
 *   syscommand f030        WM_SYSCOMMAND, its wParam in hex
 *   char 0416              WM_CHAR as the message loop gets it (GetMessageW,
 *                          so the UTF-16 unit even for an ANSI window)
 *   char 0416 edit         the same, addressed to the edit control
 *   rect 10 10 310 210     the window rectangle after WM_WINDOWPOSCHANGED
 *   size 2 1024 768        WM_SIZE: its type, client width and height
 *   langrequest 1 4090409  WM_INPUTLANGCHANGEREQUEST: wParam, lParam in hex
 *   activate 0             WM_ACTIVATE: 0 when another window takes over
 *   destroyed              WM_DESTROY; the program then ends
 *
 * --ansi       register the class and create the window with the ANSI calls,
 *              so that IsWindowUnicode answers FALSE
 * --no-frame   no sizing border (WS_THICKFRAME)
 * --no-boxes   no minimize or maximize box
 * --dialog     a dialog-like popup: caption, system menu, modal frame, no
 *              sizing border, no boxes
 * --hidden     never shown (it still becomes the foreground window)
 * --edit       an edit control fills the window and holds the focus (and so
 *              the caret)
 * --rect       window position and size (default 100 100 300 200)
 * --below-work-area  at the work area's top left corner, DX narrower and DY
 *              lower than the work area
 * --hang MS    stops answering for MS milliseconds once it has logged a
 *              WM_SYSCOMMAND, as a program that hangs, or one that answers
 *              "close" with a question, does
 *
 * The window accepts any size (its minimum tracking size is 1 by 1), so that
 * a resize request arrives as it was made. It ends by itself after two
 * minutes, so that a failed test leaves nothing behind for long. The class
 * name is "TavrinTestWindow".
 */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <wchar.h>

#define READY_TIMER 1
#define LIFETIME_TIMER 2

static HANDLE logFile = INVALID_HANDLE_VALUE;
static int ansi = 0;
static int ready = 0;
static HWND edit = NULL;
static DWORD hangMs = 0;

static void writeLine(const char* format, ...) {
  char line[160];
  va_list args;
  int length;
  DWORD written = 0;
  va_start(args, format);
  length = _vsnprintf(line, sizeof line - 2, format, args);
  va_end(args);
  if (length < 0) length = (int)sizeof line - 2;
  line[length++] = '\n';
  WriteFile(logFile, line, (DWORD)length, &written, NULL);
  FlushFileBuffers(logFile);
}

static void logRect(HWND window) {
  RECT r;
  if (GetWindowRect(window, &r)) writeLine("rect %ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
}

static LRESULT defaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ansi ? DefWindowProcA(window, message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SYSCOMMAND:
      writeLine("syscommand %04x", (unsigned)wParam);
      if (hangMs) {
        Sleep(hangMs);
        writeLine("answering again");
      }
      break;
    case WM_WINDOWPOSCHANGED:
      logRect(window);
      break;
    case WM_SETFOCUS:
      if (edit) SetFocus(edit);
      return 0;
    case WM_SIZE:
      writeLine("size %u %u %u", (unsigned)wParam, LOWORD(lParam), HIWORD(lParam));
      break;
    case WM_ACTIVATE:
      writeLine("activate %u", (unsigned)LOWORD(wParam));
      break;
    case WM_INPUTLANGCHANGEREQUEST:
      writeLine("langrequest %x %llx", (unsigned)wParam, (unsigned long long)lParam);
      return 0;  /* refused: the test window keeps its layout */
    case WM_GETMINMAXINFO: {
      MINMAXINFO* info = (MINMAXINFO*)lParam;
      info->ptMinTrackSize.x = 1;
      info->ptMinTrackSize.y = 1;
      return 0;
    }
    case WM_TIMER:
      if (wParam == LIFETIME_TIMER) {
        DestroyWindow(window);
      } else if (!ready) {
        if (GetForegroundWindow() == window) {
          ready = 1;
          KillTimer(window, READY_TIMER);
          logRect(window);
          writeLine("ready");
        } else {
          SetForegroundWindow(window);
        }
      }
      return 0;
    case WM_DESTROY:
      writeLine("destroyed");
      PostQuitMessage(0);
      return 0;
  }
  return defaultProc(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  int argc = 0, i;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  int noFrame = 0, noBoxes = 0, dialog = 0, hidden = 0, withEdit = 0;
  const POINT origin = {0, 0};
  MONITORINFO monitor;
  int x = 100, y = 100, width = 300, height = 200;
  DWORD style, exStyle = 0;
  HWND window;
  MSG message;
  (void)previous; (void)commandLine; (void)show;

  if (argv == NULL || argc < 2) return 2;
  ZeroMemory(&monitor, sizeof monitor);
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &monitor);
  for (i = 2; i < argc; ++i) {
    if (wcscmp(argv[i], L"--ansi") == 0) ansi = 1;
    else if (wcscmp(argv[i], L"--no-frame") == 0) noFrame = 1;
    else if (wcscmp(argv[i], L"--no-boxes") == 0) noBoxes = 1;
    else if (wcscmp(argv[i], L"--dialog") == 0) dialog = 1;
    else if (wcscmp(argv[i], L"--hidden") == 0) hidden = 1;
    else if (wcscmp(argv[i], L"--edit") == 0) withEdit = 1;
    else if (wcscmp(argv[i], L"--hang") == 0 && i + 1 < argc) hangMs = (DWORD)_wtoi(argv[++i]);
    else if (wcscmp(argv[i], L"--below-work-area") == 0 && i + 2 < argc) {
      x = monitor.rcWork.left;
      y = monitor.rcWork.top;
      width = monitor.rcWork.right - monitor.rcWork.left - _wtoi(argv[i + 1]);
      height = monitor.rcWork.bottom - monitor.rcWork.top - _wtoi(argv[i + 2]);
      i += 2;
    }
    else if (wcscmp(argv[i], L"--rect") == 0 && i + 4 < argc) {
      x = _wtoi(argv[i + 1]);
      y = _wtoi(argv[i + 2]);
      width = _wtoi(argv[i + 3]);
      height = _wtoi(argv[i + 4]);
      i += 4;
    } else {
      return 2;
    }
  }
  logFile = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, NULL);
  if (logFile == INVALID_HANDLE_VALUE) return 3;

  if (dialog) {
    style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    exStyle = WS_EX_DLGMODALFRAME;
  } else {
    style = WS_OVERLAPPEDWINDOW;
    if (noFrame) style &= ~WS_THICKFRAME;
    if (noBoxes) style &= ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
  }

  if (ansi) {
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "TavrinTestWindow";
    if (!RegisterClassA(&windowClass)) return 4;
    window = CreateWindowExA(exStyle, "TavrinTestWindow", "Tavrin test window (ANSI)", style, x, y, width, height,
                             NULL, NULL, instance, NULL);
  } else {
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"TavrinTestWindow";
    if (!RegisterClassW(&windowClass)) return 4;
    window = CreateWindowExW(exStyle, L"TavrinTestWindow", L"Tavrin test window", style, x, y, width, height,
                             NULL, NULL, instance, NULL);
  }
  if (window == NULL) return 5;
  if (withEdit) {
    RECT client;
    GetClientRect(window, &client);
    edit = ansi ? CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, client.right,
                                  client.bottom, window, (HMENU)1, instance, NULL)
                : CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, client.right,
                                  client.bottom, window, (HMENU)1, instance, NULL);
    if (edit == NULL) return 6;
  }
  writeLine("unicode %d", IsWindowUnicode(window) ? 1 : 0);
  writeLine("workarea %ld %ld %ld %ld", monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right,
            monitor.rcWork.bottom);

  if (!hidden) {
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
  }
  SetForegroundWindow(window);
  SetFocus(window);
  SetTimer(window, READY_TIMER, 20, NULL);
  SetTimer(window, LIFETIME_TIMER, 120000, NULL);

  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    if (message.message == WM_CHAR)
      writeLine("char %04x%s", (unsigned)(message.wParam & 0xFFFF), message.hwnd == edit && edit ? " edit" : "");
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  CloseHandle(logFile);
  return 0;
}
