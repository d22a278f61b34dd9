/* powerpnt.exe STATUSFILE CLASSNAME
 *
 * Stands in for the presentation program, which Tavrin recognises by the name
 * of its executable: the tests run this program under that name and, copied,
 * under other names. It opens a visible window of class CLASSNAME, brings it
 * to the foreground and writes to STATUSFILE, one line at a time, written
 * through:
 *   ready        once its window is the foreground window
 *   background   whenever it stops being the foreground window after that
 *   foreground   whenever it is the foreground window again
 * WM_CLOSE to the window ends the program.
 */
#include <windows.h>
#include <shellapi.h>

static HANDLE statusFile = INVALID_HANDLE_VALUE;
static HWND mainWindow;
static int everInFront, inFront;

static void writeLine(const char* text) {
  DWORD written = 0;
  WriteFile(statusFile, text, lstrlenA(text), &written, NULL);
  WriteFile(statusFile, "\n", 1, &written, NULL);
  FlushFileBuffers(statusFile);
}

/* Checked on a timer as well as on activation: under Wine the foreground can
 * settle after the activation messages. */
static void checkForeground(void) {
  int now = GetForegroundWindow() == mainWindow;
  if (now == inFront) return;
  inFront = now;
  if (now && !everInFront) {
    everInFront = 1;
    writeLine("ready");
  } else if (everInFront) {
    writeLine(now ? "foreground" : "background");
  }
}

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (!everInFront) SetForegroundWindow(window);
      checkForeground();
      return 0;
    case WM_ACTIVATE:
      PostMessageW(window, WM_TIMER, 0, 0);
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  WNDCLASSW windowClass;
  MSG message;
  (void)previous; (void)commandLine; (void)show;

  if (argv == NULL || argc != 3) return 2;
  statusFile = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, NULL);
  if (statusFile == INVALID_HANDLE_VALUE) return 3;

  ZeroMemory(&windowClass, sizeof windowClass);
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  windowClass.lpszClassName = argv[2];
  if (!RegisterClassW(&windowClass)) return 4;
  mainWindow = CreateWindowExW(0, argv[2], argv[2], WS_OVERLAPPEDWINDOW, 100, 100, 400, 300,
                               NULL, NULL, instance, NULL);
  if (mainWindow == NULL) return 5;
  ShowWindow(mainWindow, SW_SHOWNORMAL);
  SetForegroundWindow(mainWindow);
  SetTimer(mainWindow, 1, 50, NULL);

  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  CloseHandle(statusFile);
  return 0;
}
