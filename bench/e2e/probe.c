/* probe.exe OUTFILE MODE ARGUMENTS...
 *
 * Plays the phone and watches the desktop at once, so that one clock
 * (QueryPerformanceCounter) times both ends. The main thread installs a
 * low-level mouse hook and pumps messages (hooks run in the thread that
 * installed them); a second thread does the talking. Results go to OUTFILE,
 * one "name value..." line each; the last line is "done" or "error TEXT".
 *
 *   latency COUNT PORT GREETING [PORT GREETING]...
 *       one connection per PORT (up to 8), used in turn; COUNT times each:
 *       stamp, send one "mos" frame (a move of +1 or -1), wait for the hook to
 *       see the injected move. Writes "latency_us TARGET N" per message
 *       (TARGET counts the ports from 0), after 50 unrecorded warm-up rounds.
 *   throughput PORT PHONES FRAMES GREETING [BATCH]
 *       PHONES connections, each writing FRAMES frames back to back from its
 *       own thread, BATCH frames per send (default 1). Phone i moves by +-(i+1) across and by
 *       +-(1..9) down in a pattern of its sequence number, so that the hook can
 *       tell whose move it sees and check each phone's order. Writes
 *       "events N", "expected N", "seconds S", "order_errors N".
 *   exit
 *       posts WM_COMMAND 105 (the tray menu's Exit) to the window of class
 *       TAVRIN and writes "exit_ms N", the time until its process ended.
 *   handles PID
 *       writes "handles N", the number of open handles of the process (values
 *       below 0x8000: 8191 handles), and
 *       "highest N", the highest handle value among them.
 *
 * GREETING is 1 when the server greets (Tavrin: two lines), 0 otherwise.
 * Mouse acceleration is switched off first, so that a move arrives as sent.
 */
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_PHONES 64
#define MAX_EVENTS 200000

static FILE* out;
static DWORD mainThread;
static LARGE_INTEGER frequency;
static POINT lastPoint;

/* What the hook records. */
static HANDLE seenEvent;
static HANDLE allSeenEvent;
static volatile LONG64 lastStamp;
static volatile LONG eventCount;
static LONG expectedEvents;
static short (*seenMoves)[2];

static LONG64 now(void) {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

static double microseconds(LONG64 ticks) { return (double)ticks * 1e6 / (double)frequency.QuadPart; }

static LRESULT CALLBACK mouseHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == WM_MOUSEMOVE) {
    const MSLLHOOKSTRUCT* event = (const MSLLHOOKSTRUCT*)lParam;
    if (event->flags & LLMHF_INJECTED) {
      LONG index = eventCount;
      lastStamp = now();
      if (seenMoves && index < MAX_EVENTS) {
        seenMoves[index][0] = (short)(event->pt.x - lastPoint.x);
        seenMoves[index][1] = (short)(event->pt.y - lastPoint.y);
      }
      eventCount = index + 1;
      SetEvent(seenEvent);
      if (expectedEvents && index + 1 == expectedEvents) SetEvent(allSeenEvent);
    }
    lastPoint = event->pt;
  }
  return CallNextHookEx(NULL, code, wParam, lParam);
}

/* Connects, retrying for up to 20 s while nobody listens yet. */
static SOCKET connectTo(int port, int greeting) {
  struct sockaddr_in address;
  int tries, yes = 1;
  ZeroMemory(&address, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons((u_short)port);
  for (tries = 0; tries < 200; ++tries) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    if (connect(s, (struct sockaddr*)&address, sizeof address) == 0) {
      setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&yes, sizeof yes);
      if (greeting) {
        int lines = 0;
        char c;
        while (lines < 2 && recv(s, &c, 1, 0) == 1)
          if (c == '\n') ++lines;
        if (lines < 2) {
          closesocket(s);
          return INVALID_SOCKET;
        }
      }
      return s;
    }
    closesocket(s);
    Sleep(100);
  }
  return INVALID_SOCKET;
}

static int frame(char* buffer, int dx, int dy) {
  char payload[32];
  int length = _snprintf(payload, sizeof payload, "m %d %d", dx, dy);
  return _snprintf(buffer, 48, "mos%03d%s", length, payload);
}

static int sendAll(SOCKET s, const char* data, int length) {
  while (length > 0) {
    int sent = send(s, data, length, 0);
    if (sent <= 0) return 0;
    data += sent;
    length -= sent;
  }
  return 1;
}

/* Targets are taken in turn, message by message, so that each sees the
 * same moments of a machine whose load changes. */
static const char* runLatency(int count, int targets, const int* ports, const int* greetings) {
  SOCKET phones[8];
  int i, t;
  for (t = 0; t < targets; ++t) {
    phones[t] = connectTo(ports[t], greetings[t]);
    if (phones[t] == INVALID_SOCKET) return "cannot connect";
  }
  for (i = -50 * targets; i < count * targets; ++i) {
    char buffer[48];
    int target = (i + 50 * targets) % targets, round = (i + 50 * targets) / targets;
    int length = frame(buffer, (round & 1) ? -1 : 1, 0);
    LONG64 start;
    ResetEvent(seenEvent);
    start = now();
    if (!sendAll(phones[target], buffer, length)) return "send failed";
    if (WaitForSingleObject(seenEvent, 10000) != WAIT_OBJECT_0) return "no move seen within 10 s";
    if (i >= 0) fprintf(out, "latency_us %d %.1f\n", target, microseconds(lastStamp - start));
  }
  for (t = 0; t < targets; ++t) closesocket(phones[t]);
  return NULL;
}

/* Phone i, frame s: the move the hook must see. */
static void expectedMove(int phone, int s, int* dx, int* dy) {
  int sign = (s & 1) ? -1 : 1;
  *dx = sign * (phone + 1);
  *dy = sign * ((s / 2) % 9 + 1);
}

struct Sender {
  SOCKET socket;
  int phone;
  int frames;
  int batch;
  HANDLE go;
  int ok;
};

static DWORD WINAPI sendFrames(void* argument) {
  char buffer[48 * 1000];
  struct Sender* sender = (struct Sender*)argument;
  int s = 0;
  WaitForSingleObject(sender->go, INFINITE);
  while (s < sender->frames) {
    int length = 0, n;
    for (n = 0; n < sender->batch && s < sender->frames; ++n, ++s) {
      int dx, dy;
      expectedMove(sender->phone, s, &dx, &dy);
      length += frame(buffer + length, dx, dy);
    }
    if (!sendAll(sender->socket, buffer, length)) return 0;
  }
  sender->ok = 1;
  return 0;
}

static const char* runThroughput(int port, int phones, int frames, int greeting, int batch) {
  static struct Sender senders[MAX_PHONES];
  HANDLE threads[MAX_PHONES];
  HANDLE go = CreateEventW(NULL, TRUE, FALSE, NULL);
  int next[MAX_PHONES] = {0};
  LONG i, errors = 0;
  LONG64 start;
  DWORD waited;
  int p;
  if (phones < 1 || phones > MAX_PHONES || (LONG)phones * frames > MAX_EVENTS) return "too many phones or frames";
  if (batch < 1 || batch > 1000) return "a batch is 1 to 1000 frames";
  seenMoves = calloc(MAX_EVENTS, sizeof *seenMoves);
  if (!seenMoves) return "out of memory";
  for (p = 0; p < phones; ++p) {
    senders[p].socket = connectTo(port, greeting);
    if (senders[p].socket == INVALID_SOCKET) return "cannot connect";
    senders[p].phone = p;
    senders[p].frames = frames;
    senders[p].batch = batch;
    senders[p].go = go;
    threads[p] = CreateThread(NULL, 0, sendFrames, &senders[p], 0, NULL);
  }
  expectedEvents = phones * frames;
  eventCount = 0;
  start = now();
  SetEvent(go);
  waited = WaitForSingleObject(allSeenEvent, 300000);
  fprintf(out, "events %ld\nexpected %ld\n", (long)eventCount, (long)expectedEvents);
  if (waited == WAIT_OBJECT_0) fprintf(out, "seconds %.4f\n", microseconds(lastStamp - start) / 1e6);
  WaitForMultipleObjects((DWORD)phones, threads, TRUE, 10000);
  /* One sentinel-free check of the whole log: every move belongs to exactly
   * one phone and comes next in that phone's order. */
  for (i = 0; i < eventCount && i < MAX_EVENTS; ++i) {
    int dx = seenMoves[i][0], dy = seenMoves[i][1], phone = abs(dx) - 1, wantX, wantY;
    if (phone < 0 || phone >= phones || next[phone] >= frames) {
      ++errors;
      continue;
    }
    expectedMove(phone, next[phone], &wantX, &wantY);
    if (dx != wantX || dy != wantY) ++errors;
    ++next[phone];
  }
  fprintf(out, "order_errors %ld\n", (long)errors);
  for (p = 0; p < phones; ++p) {
    fprintf(out, "phone %d seen %d\n", p, next[p]);
    closesocket(senders[p].socket);
  }
  if (waited != WAIT_OBJECT_0) return "not every move was seen within 300 s";
  return NULL;
}

static const char* runExit(void) {
  HWND window = FindWindowW(L"TAVRIN", NULL);
  DWORD pid = 0;
  HANDLE process;
  LONG64 start;
  if (!window) return "no TAVRIN window";
  GetWindowThreadProcessId(window, &pid);
  process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) return "cannot open the process";
  start = now();
  if (!PostMessageW(window, WM_COMMAND, 105, 0)) return "cannot post";
  if (WaitForSingleObject(process, 30000) != WAIT_OBJECT_0) return "still running after 30 s";
  fprintf(out, "exit_ms %.2f\n", microseconds(now() - start) / 1000.0);
  CloseHandle(process);
  return NULL;
}

/* Wine answers GetProcessHandleCount with 0, so the handles are counted by
 * duplicating every handle value in turn; only open ones can be duplicated. */
static const char* runHandles(DWORD pid) {
  DWORD count = 0, highest = 0;
  ULONG_PTR value;
  HANDLE process = OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid);
  if (!process) return "cannot open the process";
  for (value = 4; value < 0x8000; value += 4) {
    HANDLE copy;
    if (DuplicateHandle(process, (HANDLE)value, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
      CloseHandle(copy);
      ++count;
      highest = (DWORD)value;
    }
  }
  fprintf(out, "handles %lu\nhighest %lu\n", count, highest);
  CloseHandle(process);
  return NULL;
}

static int argcGlobal;
static wchar_t** argvGlobal;

static DWORD WINAPI work(void* unused) {
  const wchar_t* mode = argvGlobal[2];
  const wchar_t** a = (const wchar_t**)argvGlobal;
  const char* error = "unknown mode or wrong arguments";
  (void)unused;
  if (wcscmp(mode, L"latency") == 0 && argcGlobal >= 6 && argcGlobal % 2 == 0 && argcGlobal <= 20) {
    int ports[8], greetings[8], t, targets = (argcGlobal - 4) / 2;
    for (t = 0; t < targets; ++t) {
      ports[t] = _wtoi(a[4 + 2 * t]);
      greetings[t] = _wtoi(a[5 + 2 * t]);
    }
    error = runLatency(_wtoi(a[3]), targets, ports, greetings);
  }
  else if (wcscmp(mode, L"throughput") == 0 && (argcGlobal == 7 || argcGlobal == 8))
    error = runThroughput(_wtoi(a[3]), _wtoi(a[4]), _wtoi(a[5]), _wtoi(a[6]), argcGlobal == 8 ? _wtoi(a[7]) : 1);
  else if (wcscmp(mode, L"exit") == 0 && argcGlobal == 3)
    error = runExit();
  else if (wcscmp(mode, L"handles") == 0 && argcGlobal == 4)
    error = runHandles((DWORD)_wtoi(a[3]));
  if (error) fprintf(out, "error %s\n", error);
  else fprintf(out, "done\n");
  fflush(out);
  PostThreadMessageW(mainThread, WM_QUIT, error ? 1 : 0, 0);
  return 0;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  int noAcceleration[3] = {0, 0, 0};
  WSADATA data;
  HHOOK hook = NULL;
  HANDLE worker;
  MSG message;
  (void)previous; (void)commandLine; (void)show;

  argvGlobal = CommandLineToArgvW(GetCommandLineW(), &argcGlobal);
  if (argvGlobal == NULL || argcGlobal < 3) return 1;
  out = _wfopen(argvGlobal[1], L"w");
  if (!out) return 2;
  if (WSAStartup(0x0202, &data) != 0) return 3;
  QueryPerformanceFrequency(&frequency);
  seenEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
  allSeenEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
  mainThread = GetCurrentThreadId();
  /* Makes this thread's message queue before the worker posts to it. */
  PeekMessageW(&message, NULL, 0, 0, PM_NOREMOVE);

  if (wcscmp(argvGlobal[2], L"latency") == 0 || wcscmp(argvGlobal[2], L"throughput") == 0) {
    SystemParametersInfoW(SPI_SETMOUSE, 0, noAcceleration, SPIF_SENDCHANGE);
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2);
    GetCursorPos(&lastPoint);
    hook = SetWindowsHookExW(WH_MOUSE_LL, mouseHook, instance, 0);
    if (hook == NULL) {
      fprintf(out, "error hook failed\n");
      fclose(out);
      return 4;
    }
  }
  worker = CreateThread(NULL, 0, work, NULL, 0, NULL);
  if (worker == NULL) return 5;
  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  WaitForSingleObject(worker, 5000);
  if (hook) UnhookWindowsHookEx(hook);
  fclose(out);
  return (int)message.wParam;
}
