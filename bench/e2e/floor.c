/* floor.exe PORT [CONNECTIONS [select|event]]
 *
 * The least a server can do to turn a phone's mouse frames into input: it
 * listens on 127.0.0.1:PORT, accepts one connection, and for every complete
 * "mos" frame "m DX DY" that a blocking recv brings in calls SendInput once
 * with a relative move. No greeting, no select, no command table. When the
 * connection ends it accepts the next one, CONNECTIONS times (default 1),
 * then exits. With "select", each recv waits first in a select on the
 * non-blocking connection with a 50 ms timeout, as Tavrin's loop does: the
 * cost of that wait is the difference. With "event", it waits instead for
 * the socket's event or a window message in one call (WSAEventSelect and
 * MsgWaitForMultipleObjectsEx), answering the messages. The end-to-end benchmark (bench/e2e/latency.py) measures it
 * beside Tavrin.exe in the same run.
 */
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

static void move(long dx, long dy) {
  INPUT input;
  ZeroMemory(&input, sizeof input);
  input.type = INPUT_MOUSE;
  input.mi.dx = dx;
  input.mi.dy = dy;
  input.mi.dwFlags = MOUSEEVENTF_MOVE;
  SendInput(1, &input, sizeof input);
}

/* Handles every complete frame at the front of buffer; returns the bytes used. */
static int frames(char* buffer, int fill) {
  int used = 0;
  while (fill - used >= 6) {
    char header[4] = {0};
    char payload[1000];
    int length;
    char* end;
    long dx, dy;
    memcpy(header, buffer + used + 3, 3);
    length = atoi(header);
    if (length < 0 || length > 999) length = 0;
    if (fill - used - 6 < length) break;
    memcpy(payload, buffer + used + 6, (size_t)length);
    payload[length] = 0;
    if (memcmp(buffer + used, "mos", 3) == 0 && payload[0] == 'm') {
      dx = strtol(payload + 1, &end, 10);
      dy = strtol(end, NULL, 10);
      move(dx, dy);
    }
    used += 6 + length;
  }
  return used;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  static char buffer[8192];
  int argc = 0, connections = 1, served, useSelect = 0, useEvent = 0;
  WSAEVENT event = WSACreateEvent();
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  WSADATA data;
  SOCKET listener;
  struct sockaddr_in address;
  int yes = 1;
  (void)instance; (void)previous; (void)commandLine; (void)show;

  if (argv == NULL || argc < 2) return 1;
  if (argc > 2) connections = _wtoi(argv[2]);
  if (argc > 3) useSelect = wcscmp(argv[3], L"select") == 0;
  if (argc > 3) useEvent = wcscmp(argv[3], L"event") == 0;
  if (WSAStartup(0x0202, &data) != 0) return 2;
  listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return 3;
  ZeroMemory(&address, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons((u_short)_wtoi(argv[1]));
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, (const char*)&yes, sizeof yes);
  if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 || listen(listener, 1) != 0) return 4;

  for (served = 0; served < connections; ++served) {
    int fill = 0;
    SOCKET phone = accept(listener, NULL, NULL);
    if (phone == INVALID_SOCKET) return 5;
    setsockopt(phone, IPPROTO_TCP, TCP_NODELAY, (const char*)&yes, sizeof yes);
    if (useSelect) {
      u_long nonBlocking = 1;
      ioctlsocket(phone, FIONBIO, &nonBlocking);
    }
    if (useEvent) WSAEventSelect(phone, event, FD_READ | FD_CLOSE);
    for (;;) {
      int got, used;
      if (useSelect) {
        fd_set readable;
        struct timeval timeout = {0, 50000};
        readable.fd_count = 1;
        readable.fd_array[0] = phone;
        if (select(0, &readable, NULL, NULL, &timeout) <= 0) continue;
      }
      if (useEvent) {
        WSANETWORKEVENTS events;
        DWORD woke = MsgWaitForMultipleObjectsEx(1, &event, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0 + 1) {
          MSG message;
          while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
          continue;
        }
        if (woke != WAIT_OBJECT_0) continue;
        WSAEnumNetworkEvents(phone, event, &events);
      }
      got = recv(phone, buffer + fill, (int)sizeof buffer - fill, 0);
      if (got < 0 && (useSelect || useEvent) && WSAGetLastError() == WSAEWOULDBLOCK) continue;
      if (got <= 0) break;
      fill += got;
      used = frames(buffer, fill);
      memmove(buffer, buffer + used, (size_t)(fill - used));
      fill -= used;
      if (fill == (int)sizeof buffer) fill = 0;
    }
    closesocket(phone);
  }
  closesocket(listener);
  WSACleanup();
  return 0;
}
