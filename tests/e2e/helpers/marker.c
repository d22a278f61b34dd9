/* marker.exe
 *
 * Stands in for whatever a peer message's target opens. Each start appends
 * one line, "ran PID ARGUMENTS", to a file named after its own executable
 * with ".ran" appended (first.exe writes first.exe.ran), and ends at once.
 * Registered as the handler of a URL scheme, its arguments show which link
 * was opened; copy it under another name for a second, distinguishable
 * program.
 */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  wchar_t path[MAX_PATH + 8];
  char line[2200];
  DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
  DWORD written = 0;
  HANDLE file;
  int size;
  (void)instance; (void)previous; (void)commandLine; (void)show;

  if (length == 0 || length >= MAX_PATH) return 1;
  wcscpy(path + length, L".ran");
  file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, NULL);
  if (file == INVALID_HANDLE_VALUE) return 2;
  size = _snprintf(line, sizeof line - 1, "ran %lu %ls\n", GetCurrentProcessId(),
                   commandLine != NULL ? commandLine : L"");
  if (size < 0) size = (int)sizeof line - 1;
  if (size > 0) WriteFile(file, line, (DWORD)size, &written, NULL);
  CloseHandle(file);
  return 0;
}
