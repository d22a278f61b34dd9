/* launch.exe [--desktop NAME] [--status FILE] PROGRAM [ARGUMENTS...]
 *
 * Starts PROGRAM (a full path) with ARGUMENTS, waits for it and exits with
 * its exit code.
 *
 * --desktop NAME  starts it in the desktop NAME, once that desktop and its
 *                 taskbar exist (up to 30 s; exit code 123 if they never do).
 *                 Wine has a notification area only in a desktop made by
 *                 "explorer /desktop=shell,WxH", and low-level hooks see only
 *                 the input of their own desktop. Exit code 124 if this
 *                 program cannot move to that desktop.
 * --status FILE   reports on FILE, one line at a time, written through:
 *                   started PID     once the process exists
 *                   exit CODE       when it has ended
 *                   failed ERROR    when it could not be started (exit 122)
 */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <wchar.h>

static HANDLE status = INVALID_HANDLE_VALUE;

static void report(const char* word, unsigned long value) {
  char line[64];
  DWORD written = 0;
  int length = _snprintf(line, sizeof line, "%s %lu\n", word, value);
  if (status == INVALID_HANDLE_VALUE) return;
  if (length > 0) WriteFile(status, line, (DWORD)length, &written, NULL);
  FlushFileBuffers(status);
}

/* Appends one argument the way CommandLineToArgvW reads it back, quoted only
 * when it has to be, so that a program that reads its raw command line (as
 * Tavrin does for "--install") sees plain arguments unchanged. */
static void appendArgument(wchar_t* out, size_t capacity, const wchar_t* argument) {
  size_t used = wcslen(out), backslashes = 0;
  int quote = argument[0] == 0 || wcspbrk(argument, L" \t\"") != NULL;
  const wchar_t* p;
  if (used && used + 1 < capacity) out[used++] = L' ';
  if (quote && used + 1 < capacity) out[used++] = L'"';
  for (p = argument; *p && used + 3 < capacity; ++p) {
    if (*p == L'\\') { ++backslashes; out[used++] = *p; continue; }
    if (*p == L'"') {
      while (backslashes-- && used + 3 < capacity) out[used++] = L'\\';
      out[used++] = L'\\';
    }
    backslashes = 0;
    out[used++] = *p;
  }
  if (quote) {
    while (backslashes-- && used + 2 < capacity) out[used++] = L'\\';
    if (used + 1 < capacity) out[used++] = L'"';
  }
  out[used] = 0;
}

static const wchar_t* desktopName;

/* Runs on a thread of its own, because a thread that owns windows or hooks
 * cannot switch desktops. */
static DWORD WINAPI findTaskbar(void* unused) {
  HDESK desktop = OpenDesktopW(desktopName, 0, FALSE, GENERIC_ALL);
  (void)unused;
  if (desktop == NULL) return 0;
  SetThreadDesktop(desktop);
  return FindWindowW(L"Shell_TrayWnd", NULL) != NULL;
}

static int waitForDesktop(void) {
  int tries;
  for (tries = 0; tries < 300; ++tries) {
    DWORD found = 0;
    HANDLE thread = CreateThread(NULL, 0, findTaskbar, NULL, 0, NULL);
    if (thread == NULL) return 0;
    WaitForSingleObject(thread, INFINITE);
    GetExitCodeThread(thread, &found);
    CloseHandle(thread);
    if (found) return 1;
    Sleep(100);
  }
  return 0;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  static wchar_t line[32768];
  int argc = 0, i = 1;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const wchar_t* statusPath = NULL;
  STARTUPINFOW startup;
  PROCESS_INFORMATION process;
  DWORD code = 1;
  (void)instance; (void)previous; (void)commandLine; (void)show;

  if (argv == NULL) return 120;
  for (; i + 1 < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; i += 2) {
    if (wcscmp(argv[i], L"--desktop") == 0) desktopName = argv[i + 1];
    else if (wcscmp(argv[i], L"--status") == 0) statusPath = argv[i + 1];
    else return 120;
  }
  if (i >= argc) return 120;
  if (statusPath) {
    status = CreateFileW(statusPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, NULL);
    if (status == INVALID_HANDLE_VALUE) return 121;
  }
  for (int j = i; j < argc; ++j) appendArgument(line, sizeof line / sizeof line[0], argv[j]);

  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  if (desktopName) {
    /* The child inherits the desktop of the thread that creates it. Naming
     * the desktop in STARTUPINFO instead would, under Wine, put only the
     * child's main thread there and every later thread on "Default". */
    HDESK desktop;
    if (!waitForDesktop()) return 123;
    desktop = OpenDesktopW(desktopName, 0, FALSE, GENERIC_ALL);
    if (desktop == NULL || !SetThreadDesktop(desktop)) return 124;
  }
  if (!CreateProcessW(argv[i], line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    report("failed", GetLastError());
    return 122;
  }
  report("started", process.dwProcessId);
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &code);
  report("exit", code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (status != INVALID_HANDLE_VALUE) CloseHandle(status);
  return (int)code;
}
