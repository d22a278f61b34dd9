/* observer.exe LOGFILE
 *
 * Records the input that other programs inject, as the rest of the desktop
 * sees it: low-level keyboard and mouse hooks write one line per injected
 * event to LOGFILE, written through at once so that a test can read it while
 * the observer runs. Real (not injected) events are left out.
 *
 *   key 41 down | key 41 up          virtual-key code, lower-case hex; then the
 *   key 26 down sc 48 ext            scan code when not 0, and "ext" for
 *                                    LLKHF_EXTENDED (the extended-key flag)
 *   unicode 00e9 | unicode 00e9 up   VK_PACKET events, the unit from scanCode
 *   move 5 -3                        relative to the previous position
 *   left down | right up | middle down | x1 down
 *   wheel 120 | hwheel -120
 *
 * The first line is "ready", written once both hooks are installed. Mouse
 * acceleration is switched off first, so that a move of 7 arrives as 7.
 * The hidden window of class "TavrinObserver" ends the program on WM_CLOSE,
 * and on WM_APP + 1 puts the cursor back in the middle of the screen, so that
 * a long run of moves never reaches an edge, where the system would clip them.
 */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>

static HANDLE logFile = INVALID_HANDLE_VALUE;
static POINT lastPoint;

static void writeLine(const char* text) {
  char line[128];
  int length = _snprintf(line, sizeof line - 1, "%s\n", text);
  DWORD written = 0;
  if (length < 0) return;
  WriteFile(logFile, line, (DWORD)length, &written, NULL);
  FlushFileBuffers(logFile);
}

static LRESULT CALLBACK keyboardHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const KBDLLHOOKSTRUCT* event = (const KBDLLHOOKSTRUCT*)lParam;
    if (event->flags & LLKHF_INJECTED) {
      char text[64];
      /* Wine leaves LLKHF_UP clear on VK_PACKET releases; the message says it. */
      int up = (event->flags & LLKHF_UP) != 0 || wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
      if (event->vkCode == VK_PACKET)
        _snprintf(text, sizeof text, "unicode %04lx%s", event->scanCode & 0xFFFF, up ? " up" : "");
      else {
        int length = _snprintf(text, sizeof text, "key %02lx %s", event->vkCode, up ? "up" : "down");
        if (event->scanCode) length += _snprintf(text + length, sizeof text - length, " sc %02lx", event->scanCode);
        if (event->flags & LLKHF_EXTENDED) lstrcatA(text, " ext");
      }
      writeLine(text);
    }
  }
  return CallNextHookEx(NULL, code, wParam, lParam);
}

static LRESULT CALLBACK mouseHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const MSLLHOOKSTRUCT* event = (const MSLLHOOKSTRUCT*)lParam;
    if (event->flags & LLMHF_INJECTED) {
      char text[64];
      short amount = (short)HIWORD(event->mouseData);
      text[0] = 0;
      switch (wParam) {
        case WM_MOUSEMOVE:
          _snprintf(text, sizeof text, "move %ld %ld", event->pt.x - lastPoint.x, event->pt.y - lastPoint.y);
          lastPoint = event->pt;
          break;
        case WM_LBUTTONDOWN: lstrcpyA(text, "left down"); break;
        case WM_LBUTTONUP: lstrcpyA(text, "left up"); break;
        case WM_RBUTTONDOWN: lstrcpyA(text, "right down"); break;
        case WM_RBUTTONUP: lstrcpyA(text, "right up"); break;
        case WM_MBUTTONDOWN: lstrcpyA(text, "middle down"); break;
        case WM_MBUTTONUP: lstrcpyA(text, "middle up"); break;
        case WM_XBUTTONDOWN: _snprintf(text, sizeof text, "x%d down", amount); break;
        case WM_XBUTTONUP: _snprintf(text, sizeof text, "x%d up", amount); break;
        case WM_MOUSEWHEEL: _snprintf(text, sizeof text, "wheel %d", amount); break;
        case WM_MOUSEHWHEEL: _snprintf(text, sizeof text, "hwheel %d", amount); break;
        default: _snprintf(text, sizeof text, "mouse message %04x", (unsigned)wParam); break;
      }
      writeLine(text);
    } else if (wParam == WM_MOUSEMOVE) {
      lastPoint = event->pt;
    }
  }
  return CallNextHookEx(NULL, code, wParam, lParam);
}

static void centreCursor(void) {
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2);
  GetCursorPos(&lastPoint);
}

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP + 1) {
    centreCursor();
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  int noAcceleration[3] = {0, 0, 0};
  WNDCLASSW windowClass;
  HHOOK keyboard, mouse;
  MSG message;
  (void)previous; (void)commandLine; (void)show;

  if (argv == NULL || argc != 2) return 2;
  logFile = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, NULL);
  if (logFile == INVALID_HANDLE_VALUE) return 3;

  SystemParametersInfoW(SPI_SETMOUSE, 0, noAcceleration, SPIF_SENDCHANGE);
  centreCursor();

  ZeroMemory(&windowClass, sizeof windowClass);
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"TavrinObserver";
  RegisterClassW(&windowClass);
  CreateWindowExW(WS_EX_TOOLWINDOW, L"TavrinObserver", L"observer", WS_OVERLAPPED, 0, 0, 10, 10,
                  NULL, NULL, instance, NULL);

  keyboard = SetWindowsHookExW(WH_KEYBOARD_LL, keyboardHook, instance, 0);
  mouse = SetWindowsHookExW(WH_MOUSE_LL, mouseHook, instance, 0);
  if (keyboard == NULL || mouse == NULL) {
    writeLine("hooks failed");
    return 4;
  }
  writeLine("ready");

  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  UnhookWindowsHookEx(keyboard);
  UnhookWindowsHookEx(mouse);
  CloseHandle(logFile);
  return 0;
}
