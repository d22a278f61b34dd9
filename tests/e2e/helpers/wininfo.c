/* wininfo.exe --out FILE [--wait MS] [--class NAME] [--title TEXT] [--gone]
 *             [--all] [--post MESSAGE WPARAM LPARAM]
 *
 * Reports on the top-level windows of its own desktop, which is how a test
 * sees the windows of a program running in Wine's "shell" desktop (they are
 * drawn inside one X window there, out of reach of X tools).
 *
 * Finds the top-level window of class NAME and/or title TEXT, waiting up to
 * MS milliseconds (default 5000), and writes to FILE, in UTF-8:
 *   window CLASS|TEXT|VISIBLE|LEFT,TOP,RIGHT,BOTTOM
 *   child ID|CLASS|TEXT          one line per child window, in Z order
 * with backslash, CR, LF and tab in the texts written as \\, \r, \n, \t.
 * then posts MESSAGE to that window when --post is given.
 * --gone waits instead until no such window is visible any more.
 * --all lists every visible top-level window as "window ..." lines.
 *
 * Exit codes: 0 done, 1 usage, 2 not found (or, with --gone, still there),
 * 3 FILE cannot be written.
 */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <wchar.h>

static HANDLE out = INVALID_HANDLE_VALUE;

static void writeUtf8(const wchar_t* text) {
  char bytes[8192];
  DWORD written = 0;
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
  if (size > 1) WriteFile(out, bytes, (DWORD)(size - 1), &written, NULL);
}

/* The text of a window of another process (WM_GETTEXT is marshalled), on
 * one line: backslash, CR, LF and tab are written as \\, \r, \n and \t. */
static void windowText(HWND window, wchar_t* text, int capacity) {
  wchar_t raw[1024];
  DWORD_PTR result = 0;
  int from = 0, to = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 1024, (LPARAM)raw, SMTO_ABORTIFHUNG, 2000, &result)) raw[0] = 0;
  raw[1023] = 0;
  for (; raw[from] && to + 3 < capacity; ++from) {
    wchar_t c = raw[from];
    const wchar_t* escape = c == L'\\' ? L"\\\\" : c == L'\r' ? L"\\r" : c == L'\n' ? L"\\n" : c == L'\t' ? L"\\t" : NULL;
    if (escape) {
      text[to++] = escape[0];
      text[to++] = escape[1];
    } else {
      text[to++] = c;
    }
  }
  text[to] = 0;
}

static void describe(const wchar_t* kind, HWND window, int withRect) {
  wchar_t className[128], text[2048], line[2400];
  RECT rect = {0, 0, 0, 0};
  GetClassNameW(window, className, 128);
  windowText(window, text, 2048);
  if (withRect) {
    GetWindowRect(window, &rect);
    _snwprintf(line, 2400, L"%ls %ls|%ls|%d|%ld,%ld,%ld,%ld\r\n", kind, className, text,
               IsWindowVisible(window) ? 1 : 0, rect.left, rect.top, rect.right, rect.bottom);
  } else {
    _snwprintf(line, 2400, L"%ls %d|%ls|%ls\r\n", kind, GetDlgCtrlID(window), className, text);
  }
  line[2399] = 0;
  writeUtf8(line);
}

static BOOL CALLBACK eachChild(HWND child, LPARAM parent) {
  if (GetParent(child) == (HWND)parent) describe(L"child", child, 0);
  return TRUE;
}

static BOOL CALLBACK eachTopLevel(HWND window, LPARAM unused) {
  (void)unused;
  if (IsWindowVisible(window)) describe(L"window", window, 1);
  return TRUE;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  int argc = 0, i = 1, gone = 0, all = 0, post = 0;
  DWORD waitMs = 5000, waited = 0;
  const wchar_t *outPath = NULL, *className = NULL, *title = NULL;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  HWND window;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  (void)instance; (void)previous; (void)commandLine; (void)show;

  if (argv == NULL) return 1;
  for (; i < argc; ++i) {
    if (wcscmp(argv[i], L"--out") == 0 && i + 1 < argc) outPath = argv[++i];
    else if (wcscmp(argv[i], L"--wait") == 0 && i + 1 < argc) waitMs = wcstoul(argv[++i], NULL, 0);
    else if (wcscmp(argv[i], L"--class") == 0 && i + 1 < argc) className = argv[++i];
    else if (wcscmp(argv[i], L"--title") == 0 && i + 1 < argc) title = argv[++i];
    else if (wcscmp(argv[i], L"--gone") == 0) gone = 1;
    else if (wcscmp(argv[i], L"--all") == 0) all = 1;
    else if (wcscmp(argv[i], L"--post") == 0 && i + 3 < argc) {
      post = 1;
      message = (UINT)wcstoul(argv[i + 1], NULL, 0);
      wParam = (WPARAM)_wcstoui64(argv[i + 2], NULL, 0);
      lParam = (LPARAM)_wcstoi64(argv[i + 3], NULL, 0);
      i += 3;
    } else return 1;
  }
  if (outPath == NULL || (!all && className == NULL && title == NULL)) return 1;
  out = CreateFileW(outPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, NULL);
  if (out == INVALID_HANDLE_VALUE) return 3;

  if (all) {
    EnumWindows(eachTopLevel, 0);
    CloseHandle(out);
    return 0;
  }
  for (;;) {
    window = FindWindowW(className, title);
    if (gone ? (window == NULL || !IsWindowVisible(window)) : (window != NULL && IsWindowVisible(window))) break;
    if (waited >= waitMs) {
      CloseHandle(out);
      return 2;
    }
    Sleep(20);
    waited += 20;
  }
  if (!gone) {
    describe(L"window", window, 1);
    EnumChildWindows(window, eachChild, (LPARAM)window);
    if (post) PostMessageW(window, message, wParam, lParam);
  }
  CloseHandle(out);
  return 0;
}
