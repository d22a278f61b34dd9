/* postmsg.exe [--send] [--class NAME] [--wait MS] MESSAGE WPARAM LPARAM
 *
 * Finds the top-level window of class NAME (default "TAVRIN"), waiting up to
 * MS milliseconds (default 5000) for it to appear, and posts MESSAGE with
 * WPARAM and LPARAM to it (numbers, decimal or 0x hex). With --send the
 * message is sent instead and the result printed on standard output.
 *
 * MESSAGE may be the name of a registered message ("TaskbarCreated"). LPARAM
 * "session" stands for the id of this process's session (the one a
 * session notification to the window names).
 *
 * Exit codes: 0 done, 1 usage, 2 no such window, 3 posting failed.
 *   postmsg.exe 273 105 0           WM_COMMAND 105 (the tray menu's Exit)
 *   postmsg.exe --send 16 0 0       WM_CLOSE, synchronously
 */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <wchar.h>
#include <wctype.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  int argc = 0, i = 1, send = 0;
  DWORD waitMs = 5000, waited = 0;
  const wchar_t* className = L"TAVRIN";
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  HWND window;
  (void)instance; (void)previous; (void)commandLine; (void)show;

  if (argv == NULL) return 1;
  for (; i < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; ++i) {
    if (wcscmp(argv[i], L"--send") == 0) send = 1;
    else if (wcscmp(argv[i], L"--class") == 0 && i + 1 < argc) className = argv[++i];
    else if (wcscmp(argv[i], L"--wait") == 0 && i + 1 < argc) waitMs = wcstoul(argv[++i], NULL, 0);
    else return 1;
  }
  if (argc - i != 3) return 1;
  /* A name instead of a number: that registered message ("TaskbarCreated"). */
  message = iswdigit(argv[i][0]) ? (UINT)wcstoul(argv[i], NULL, 0) : RegisterWindowMessageW(argv[i]);
  wParam = (WPARAM)_wcstoui64(argv[i + 1], NULL, 0);
  if (wcscmp(argv[i + 2], L"session") == 0) {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return 1;
    lParam = (LPARAM)session;
  } else {
    lParam = (LPARAM)_wcstoi64(argv[i + 2], NULL, 0);
  }

  while ((window = FindWindowW(className, NULL)) == NULL) {
    if (waited >= waitMs) return 2;
    Sleep(20);
    waited += 20;
  }
  if (send) {
    LRESULT result = SendMessageW(window, message, wParam, lParam);
    printf("%lld\n", (long long)result);
    fflush(stdout);
    return 0;
  }
  return PostMessageW(window, message, wParam, lParam) ? 0 : 3;
}
