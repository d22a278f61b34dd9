/* inject.exe EVENT...
 *
 * Injects input with SendInput, one record per call, so that the harness can
 * be checked against a known source. Events:
 *   kVV / kVV^   press / release of virtual key VV (hex)
 *   uXXXX / uXXXX^  a Unicode unit, press / release
 *   m DX DY      relative move (two separate arguments)
 *   l / l^, r / r^, c / c^   left, right, middle (c: centre) press / release
 *   w N          vertical wheel by N
 */
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <wchar.h>

static void sendOne(INPUT* input) { SendInput(1, input, sizeof *input); }

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  int argc = 0, i;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  (void)instance; (void)previous; (void)commandLine; (void)show;
  if (argv == NULL) return 1;
  for (i = 1; i < argc; ++i) {
    const wchar_t* a = argv[i];
    int up = a[0] && a[wcslen(a) - 1] == L'^';
    INPUT input;
    ZeroMemory(&input, sizeof input);
    if (a[0] == L'k' || a[0] == L'u') {
      input.type = INPUT_KEYBOARD;
      if (a[0] == L'k') input.ki.wVk = (WORD)wcstoul(a + 1, NULL, 16);
      else { input.ki.wScan = (WORD)wcstoul(a + 1, NULL, 16); input.ki.dwFlags = KEYEVENTF_UNICODE; }
      if (up) input.ki.dwFlags |= KEYEVENTF_KEYUP;
    } else if (a[0] == L'm' && i + 2 < argc) {
      input.type = INPUT_MOUSE;
      input.mi.dwFlags = MOUSEEVENTF_MOVE;
      input.mi.dx = wcstol(argv[++i], NULL, 10);
      input.mi.dy = wcstol(argv[++i], NULL, 10);
    } else if (a[0] == L'w' && i + 1 < argc) {
      input.type = INPUT_MOUSE;
      input.mi.dwFlags = MOUSEEVENTF_WHEEL;
      input.mi.mouseData = (DWORD)wcstol(argv[++i], NULL, 10);
    } else if (a[0] == L'l' || a[0] == L'r' || a[0] == L'c') {
      input.type = INPUT_MOUSE;
      if (a[0] == L'l') input.mi.dwFlags = up ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
      if (a[0] == L'r') input.mi.dwFlags = up ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_RIGHTDOWN;
      if (a[0] == L'c') input.mi.dwFlags = up ? MOUSEEVENTF_MIDDLEUP : MOUSEEVENTF_MIDDLEDOWN;
    } else {
      return 1;
    }
    sendOne(&input);
  }
  return 0;
}
