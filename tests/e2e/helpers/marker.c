/* marker.exe
 *
 * Stands in for whatever a peer message's target opens. Each start appends
 * one line, "ran PID", to a file named after its own executable with ".ran"
 * appended (first.exe writes first.exe.ran), and ends at once. It takes no
 * arguments, because a peer message's target is opened without any: copy it
 * under another name for a second, distinguishable target.
 */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  wchar_t path[MAX_PATH + 8];
  char line[32];
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
  size = _snprintf(line, sizeof line, "ran %lu\n", GetCurrentProcessId());
  if (size > 0) WriteFile(file, line, (DWORD)size, &written, NULL);
  CloseHandle(file);
  return 0;
}
