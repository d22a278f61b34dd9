/* findbox.exe OUTFILE CAPTION [--wait MS] [--until TEXT] [--activate] [--cancel | --press ID]
 *
 * Looks for a visible message box (a top-level dialog of class "#32770")
 * whose caption is CAPTION, waiting up to MS milliseconds (default 0) for it
 * to appear, and writes to OUTFILE what it shows:
 *
 *   count 1                                     how many such boxes are open
 *   default 2                                   the id of the default button
 *                                               (the one drawn as default)
 *   foreground 0                                1 when the box is the
 *                                               foreground window
 *   text Are you sure to shutdown Windows?     each static control's text
 *   button 1 OK                                 each button: its id and text,
 *                                               then " (disabled)" if it is
 *
 * With --until it waits (up to MS) for a box one of whose static texts
 * contains TEXT. With --activate it brings the box to the foreground, as a
 * click on its caption would, before anything else.
 *
 * With --cancel it then clicks the box's Cancel button, by posting the
 * button's WM_COMMAND (IDCANCEL) to the box. It never touches any other
 * button: a test must not be able to confirm what the box asks by mistake.
 *
 * With --press it clicks the button with that id instead, by sending the
 * command, so that the box has acted on it when findbox.exe ends; it
 * refuses to for a box captioned "Tavrin" (the shutdown question), whose
 * only button a test may click is Cancel.
 *
 * Exit codes: 0 found (and cancelled or pressed), 1 usage, 2 no such box, 3
 * the box has no Cancel button (or no such button), 4 OUTFILE cannot be
 * written, 5 --press refused.
 */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <wchar.h>

static const wchar_t* caption;
static const wchar_t* until;
static int hasText;
static HWND found;
static int count;
static int defaultId;
static HANDLE out = INVALID_HANDLE_VALUE;

static void writeLine(const wchar_t* kind, const wchar_t* text) {
  char line[600];
  int length = _snprintf(line, sizeof line - 1, "%ls %ls\n", kind, text);
  DWORD written = 0;
  if (length < 0) length = (int)sizeof line - 1;
  WriteFile(out, line, (DWORD)length, &written, NULL);
}

static BOOL CALLBACK lookAtWindow(HWND window, LPARAM unused) {
  wchar_t className[64], title[256];
  (void)unused;
  if (!IsWindowVisible(window)) return TRUE;
  if (!GetClassNameW(window, className, 64) || wcscmp(className, L"#32770") != 0) return TRUE;
  GetWindowTextW(window, title, 256);
  if (wcscmp(title, caption) != 0) return TRUE;
  if (!found) found = window;
  ++count;
  return TRUE;
}

static BOOL CALLBACK findDefault(HWND child, LPARAM unused) {
  wchar_t className[64];
  (void)unused;
  if (GetClassNameW(child, className, 64) && _wcsicmp(className, L"Button") == 0 &&
      (GetWindowLongW(child, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
    defaultId = GetDlgCtrlID(child);
  return TRUE;
}

static BOOL CALLBACK lookForText(HWND child, LPARAM unused) {
  wchar_t className[64], text[256];
  (void)unused;
  if (GetClassNameW(child, className, 64) && _wcsicmp(className, L"Static") == 0 && GetWindowTextW(child, text, 256) &&
      wcsstr(text, until) != NULL)
    hasText = 1;
  return TRUE;
}

static BOOL CALLBACK describeChild(HWND child, LPARAM unused) {
  wchar_t className[64], text[256], label[32];
  (void)unused;
  if (!GetClassNameW(child, className, 64)) return TRUE;
  GetWindowTextW(child, text, 256);
  if (_wcsicmp(className, L"Static") == 0 && text[0]) {
    writeLine(L"text", text);
  } else if (_wcsicmp(className, L"Button") == 0) {
    _snwprintf(label, 32, L"button %d", GetDlgCtrlID(child));
    label[31] = 0;
    if (!IsWindowEnabled(child)) wcsncat(text, L" (disabled)", 255 - wcslen(text));
    writeLine(label, text);
  }
  return TRUE;
}

/* Clicks the found box's button `id` by posting its WM_COMMAND. With
 * `onlyCancel`, only a button that says Cancel is ever clicked. */
static int click(int id, int onlyCancel) {
  wchar_t text[64] = {0};
  HWND button = GetDlgItem(found, id);
  if (button == NULL) return 3;
  GetWindowTextW(button, text, 64);
  if (onlyCancel && wcsstr(text, L"Cancel") == NULL) return 3;
  if (onlyCancel) {
    PostMessageW(found, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
  } else {
    /* Sent: the box has acted on the click when this program ends, so a
       test's next step never races the answer. */
    DWORD_PTR result = 0;
    SendMessageTimeoutW(found, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button, SMTO_ABORTIFHUNG, 5000,
                        &result);
  }
  writeLine(L"clicked", text);
  return 0;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  int argc = 0, i, cancel = 0, press = 0, activate = 0;
  DWORD waitMs = 0, waited = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  (void)instance; (void)previous; (void)commandLine; (void)show;

  if (argv == NULL || argc < 3) return 1;
  caption = argv[2];
  for (i = 3; i < argc; ++i) {
    if (wcscmp(argv[i], L"--cancel") == 0) cancel = 1;
    else if (wcscmp(argv[i], L"--wait") == 0 && i + 1 < argc) waitMs = wcstoul(argv[++i], NULL, 0);
    else if (wcscmp(argv[i], L"--press") == 0 && i + 1 < argc) press = _wtoi(argv[++i]);
    else if (wcscmp(argv[i], L"--until") == 0 && i + 1 < argc) until = argv[++i];
    else if (wcscmp(argv[i], L"--activate") == 0) activate = 1;
    else return 1;
  }
  if (press && wcscmp(caption, L"Tavrin") == 0) return 5;
  out = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (out == INVALID_HANDLE_VALUE) return 4;

  for (;;) {
    found = NULL;
    count = 0;
    EnumWindows(lookAtWindow, 0);
    hasText = 0;
    if (found && until) EnumChildWindows(found, lookForText, 0);
    if ((found && (!until || hasText)) || waited >= waitMs) break;
    Sleep(20);
    waited += 20;
  }
  if (!found || (until && !hasText)) {
    CloseHandle(out);
    return 2;
  }
  if (activate) {
    SetForegroundWindow(found);
    Sleep(200);  /* the activation's messages reach the box first */
  }
  {
    char line[64];
    DWORD written = 0;
    int length;
    EnumChildWindows(found, findDefault, 0);
    length = _snprintf(line, sizeof line, "count %d\ndefault %d\nforeground %d\n", count, defaultId,
                       GetForegroundWindow() == found);
    if (length > 0) WriteFile(out, line, (DWORD)length, &written, NULL);
  }
  EnumChildWindows(found, describeChild, 0);
  if (press || cancel) {
    int code = click(press ? press : IDCANCEL, !press);
    if (code != 0) {
      CloseHandle(out);
      return code;
    }
  }
  CloseHandle(out);
  return 0;
}
